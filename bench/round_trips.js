// The benchmark's page in the test extension (in place of the tests' page):
// timed status round trips through sendNativeMessage. The hosts named in
// "hosts" take turns, the first one alternating, "count" times each; the
// page publishes each host's times in milliseconds as the tests' page
// publishes its outcome: "done:" and the JSON in Base64 as its title.
"use strict";

async function roundTrips(query) {
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
}

addEventListener("DOMContentLoaded", async () => {
  let outcome;
  try {
    outcome = await roundTrips(new URLSearchParams(location.search));
  } catch (error) {
    outcome = { error: String(error && error.message ? error.message : error) };
  }
  const utf8 = new TextEncoder().encode(JSON.stringify(outcome));
  document.title = "done:" + btoa(String.fromCharCode(...utf8));
});
