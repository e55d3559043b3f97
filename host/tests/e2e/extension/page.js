// Runs one flow against the native-messaging host, chosen by the page's query
// string, and publishes its outcome as "done:" followed by JSON: as the
// document title, which a test reads over Chromium's remote-debugging
// endpoint, and where the browser offers dump() (Firefox with
// browser.dom.window.dump.enabled) as a line of standard output.
"use strict";

const hostName = "cz.tavrin.bridge";
const query = new URLSearchParams(location.search);

// Titles longer than this are cut by the browser; say so rather than publish
// half a result.
const titleLimit = 4000;

function publish(outcome) {
  const text = "done:" + JSON.stringify(outcome);
  document.title = text.length <= titleLimit ? text : 'done:{"error":"outcome too long"}';
  if (typeof dump === "function") dump(document.title + "\n");
}

// A persistent connection whose replies are taken one at a time. A request
// that ends the connection resolves to {disconnected: reason}.
function openPort() {
  const port = chrome.runtime.connectNative(hostName);
  const replies = [];
  const waiting = [];
  let ended = null;
  const settle = () => {
    while (waiting.length > 0 && (replies.length > 0 || ended !== null)) {
      waiting.shift()(replies.length > 0 ? replies.shift() : ended);
    }
  };
  port.onMessage.addListener((message) => {
    replies.push(message);
    settle();
  });
  port.onDisconnect.addListener(() => {
    // Chromium reports why in lastError, Firefox in the port itself.
    const error = port.error || chrome.runtime.lastError;
    ended = { disconnected: error ? error.message : "closed" };
    settle();
  });
  return {
    ask(request) {
      port.postMessage(request);
      return new Promise((resolve) => {
        waiting.push(resolve);
        settle();
      });
    },
    close() {
      port.disconnect();
    },
  };
}

// The fields a test compares; the certificates themselves would not fit in a title.
function summarise(reply) {
  if (!reply.result || !reply.result.certificates) return reply;
  return {
    id: reply.id,
    certificates: reply.result.certificates.map((c) => ({
      certId: c.certId,
      keyAlgorithm: c.keyAlgorithm,
      purposes: c.purposes,
      backend: c.backend,
    })),
  };
}

const flows = {
  async status() {
    return { reply: await chrome.runtime.sendNativeMessage(hostName, { id: "s", method: "status" }) };
  },

  async list() {
    const port = openPort();
    const params = { origin: query.get("origin"), purpose: query.get("purpose") };
    const reply = await port.ask({ id: "l", method: "listCertificates", params });
    port.close();
    return { reply: summarise(reply) };
  },

  // Timed status round trips through sendNativeMessage (a benchmark): the
  // hosts named in "hosts" take turns, the first one alternating, "count"
  // times each; publishes each host's times in milliseconds.
  async roundTrips() {
    const hosts = query.get("hosts").split(",");
    const times = Object.fromEntries(hosts.map((host) => [host, []]));
    for (let i = 0; i < Number(query.get("count")); ++i) {
      for (const host of i % 2 === 0 ? hosts : [...hosts].reverse()) {
        const start = performance.now();
        const reply = await chrome.runtime.sendNativeMessage(host, { id: "s", method: "status" });
        times[host].push(Math.round((performance.now() - start) * 100) / 100);
        if (!reply || !reply.result) return { error: host + " answered " + JSON.stringify(reply) };
      }
    }
    return { times };
  },

  // Lists, then signs one hash with the chosen certificate over the same
  // connection: a host admits only certificates it has listed to the origin.
  async sign() {
    const port = openPort();
    const origin = query.get("origin");
    const listing = await port.ask({
      id: "l",
      method: "listCertificates",
      params: { origin, purpose: "any" },
    });
    if (!listing.result) return { listing };
    const reply = await port.ask({
      id: "g",
      method: "sign",
      params: {
        origin,
        certId: query.get("certId"),
        hashAlg: query.get("hashAlg"),
        scheme: query.get("scheme"),
        hashes: [query.get("hash")],
      },
    });
    port.close();
    return { reply };
  },
};

addEventListener("DOMContentLoaded", async () => {
  const flow = flows[query.get("flow")];
  if (!flow) {
    publish({ error: "unknown flow " + query.get("flow") });
    return;
  }
  try {
    publish(await flow());
  } catch (error) {
    publish({ error: String(error && error.message ? error.message : error) });
  }
});
