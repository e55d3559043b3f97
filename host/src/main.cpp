#include "app/host_app.h"

int main(int argc, char** argv) {
    return tavrin::host::TavrinBridgeHostApp::main(argc, argv);
}
