// Runs one flow against the native-messaging host, chosen by the page's query
// string, and publishes its outcome as "done:" followed by its JSON in Base64
// (nothing a title escapes): as the document title, which a test reads over
// Chromium's remote-debugging endpoint, and where the browser offers dump()
// (Firefox with browser.dom.window.dump.enabled) as a line of standard output.
"use strict";

const hostName = "cz.tavrin.bridge";
const query = new URLSearchParams(location.search);

function publish(outcome) {
  const utf8 = new TextEncoder().encode(JSON.stringify(outcome));
  const text = "done:" + btoa(String.fromCharCode(...utf8));
  // The browser cuts longer titles; say so rather than publish half a result.
  document.title = text.length <= 4000 ? text : "done:" + btoa('{"error":"outcome too long"}');
  if (typeof dump === "function") dump(document.title + "\n");
}

// The next reply to `request` on `port`, or {disconnected: reason} when the
// connection ends first (Chromium says why in lastError, Firefox in the port).
function ask(port, request) {
  return new Promise((resolve) => {
    port.onMessage.addListener(function once(reply) {
      port.onMessage.removeListener(once);
      resolve(reply);
    });
    port.onDisconnect.addListener(() => {
      const error = port.error || chrome.runtime.lastError;
      resolve({ disconnected: error ? error.message : "closed" });
    });
    port.postMessage(request);
  });
}

const flows = {
  async status() {
    return { reply: await chrome.runtime.sendNativeMessage(hostName, { id: "s", method: "status" }) };
  },

  // Lists, then signs one hash over the same connection (a host admits only
  // certificates it has listed to the origin) with the listed certificate
  // whose key is "key" (on the token "token", when given). Publishes each
  // listed key with its backend, the chosen certificate and the reply.
  async sign() {
    const port = chrome.runtime.connectNative(hostName);
    const origin = query.get("origin");
    const list = { origin, purpose: "any" };
    const listing = await ask(port, { id: "l", method: "listCertificates", params: list });
    if (!listing.result) return { listing };
    const certificates = listing.result.certificates;
    const token = query.get("token");
    const chosen = certificates.find(
      (c) => c.keyAlgorithm === query.get("key") && (!token || c.tokenLabel === token),
    );
    const scheme = query.get("key").startsWith("rsa") ? "rsa-pkcs1" : "ecdsa";
    const hashes = [query.get("hash")];
    const sign = { origin, certId: chosen.certId, hashAlg: "SHA-256", scheme, hashes };
    const reply = await ask(port, { id: "g", method: "sign", params: sign });
    port.disconnect();
    const listed = certificates.map((c) => c.keyAlgorithm + " " + c.backend).sort();
    return { listed, der: chosen.der, reply };
  },
};

addEventListener("DOMContentLoaded", async () => {
  try {
    publish(await flows[query.get("flow")]());
  } catch (error) {
    publish({ error: String(error && error.message ? error.message : error) });
  }
});
