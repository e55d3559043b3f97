#include "window/preview_renderer.h"

#include <cstdio>

#include <QtGlobal>

#include <QBuffer>
#include <QFile>
#include <QLayout>
#include <QPixmap>

#include "application.h"
#include "window/showcase_view.h"

namespace tavrin::host::ui {
namespace {

// The preview's standard error carries its own failure line only: Qt's
// remarks about the environment (no runtime folder, an offscreen platform
// that ignores window size hints) would read as failures to a caller.
void keepQuietUnlessFatal(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) std::fprintf(stderr, "render-preview: %s\n", qPrintable(message));
}

int fail(const std::string& line) {
    std::fprintf(stderr, "render-preview: %s\n", line.c_str());
    return 1;
}

}  // namespace

int renderPreview(ManagementModel& model, const std::string& path) {
    if (!ensureOffscreenApplication().empty()) return fail("render selhal");
    qInstallMessageHandler(keepQuietUnlessFatal);

    QByteArray png;
    {
        ShowcaseView view(model);
        // Lay out once at the fixed width so that wrapped text gets its height.
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        view.layout()->activate();
        const int height = view.hasHeightForWidth() ? view.heightForWidth(ShowcaseView::width)
                                                    : view.sizeHint().height();
        view.resize(ShowcaseView::width, height);

        view.layout()->activate();

        QPixmap pixmap(view.size() * 2);
        if (pixmap.isNull()) return fail("render selhal");
        pixmap.setDevicePixelRatio(2);
        pixmap.fill(Qt::transparent);
        view.render(&pixmap);
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !pixmap.save(&buffer, "PNG") || png.isEmpty())
            return fail("render selhal");
    }

    // Replaced in place, not atomically; a missing folder is not created.
    QFile file(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
    const auto writeFailed = [&] {
        return fail("zápis selhal: " + path + ": " + file.errorString().toStdString());
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return writeFailed();
    if (file.write(png) != png.size() || !file.flush()) return writeFailed();
    file.close();
    if (file.error() != QFileDevice::NoError) return writeFailed();
    return 0;
}

}  // namespace tavrin::host::ui
