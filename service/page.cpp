// The page at "/": every scale's live weight, its status and errors through its stream, with
// zero, tare and "Weigh for sale" buttons. Served from the program so that nothing on disk can change what it runs.
#include "service/service.hpp"

namespace ScaleService {

const std::string& PageHtml() {
  static const std::string page = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Scales</title>
<style>
body { font-family: sans-serif; margin: 2em; background: #f4f4f4; }
.scale { background: #fff; border-radius: 6px; padding: 1em 1.5em; margin-bottom: 1em; max-width: 32em; }
.weight { font-size: 2.5em; font-variant-numeric: tabular-nums; }
.state { color: #555; }
.error { color: #b00; min-height: 1.2em; }
.sale { min-height: 1.2em; font-weight: bold; }
button { font-size: 1em; margin-right: 0.5em; }
</style>
</head>
<body>
<h1>Scales</h1>
<div id="scales">Loading...</div>
<h1>Serial ports</h1>
<table id="ports"></table>
<script>
"use strict";
function element(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
// With --token-file the page asks for the token once (or takes it from the address as
// "#token=..."), keeps it for this tab only and sends it with every request.
let token = sessionStorage.getItem("scale-service-token") || "";
const given = /(?:^#|&)token=([^&]*)/.exec(location.hash);
if (given) {
  token = decodeURIComponent(given[1]);
  sessionStorage.setItem("scale-service-token", token);
  history.replaceState(null, "", location.pathname + location.search);
}
function api(path, options = {}) {
  const headers = Object.assign({}, options.headers, token ? {Authorization: "Bearer " + token} : {});
  return fetch(path, Object.assign({}, options, {headers}));
}
function askToken(list) {
  list.textContent = "";
  const form = list.appendChild(element("form", "token"));
  form.appendChild(element("label", "", "Token "));
  const input = form.appendChild(element("input"));
  input.type = "password";
  input.autocomplete = "current-password";
  form.appendChild(element("button", "", "Use"));
  if (token) form.appendChild(element("div", "error", "the token was refused"));
  form.onsubmit = (event) => {
    event.preventDefault();
    token = input.value.trim();
    sessionStorage.setItem("scale-service-token", token);
    start();
  };
}
// The status numbers of the point-of-sale device standards.
const statusNames = {11: "stable", 12: "settling", 13: "zero", 14: "over capacity", 15: "not ready",
                     16: "under zero", 17: "under the minimum"};
function show(card, message) {
  if (message.type === "weight") {
    card.weight.textContent = message.text + " " + message.unit;
    const flags = [statusNames[message.status] || "", message.net === true ? "net" : ""];
    card.state.textContent = "ready " + flags.filter(Boolean).join(" ");
    card.root.dataset.status = message.status;
    card.error.textContent = "";
    card.root.dataset.state = "ready";
  } else if (message.type === "error") {
    card.state.textContent = "error";
    card.error.textContent = message.error.name + ": " + message.error.message;
    card.root.dataset.state = "error";
  }
}
function connect(card) {
  const ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host +
                           "/v1/scales/" + encodeURIComponent(card.name) + "/stream" +
                           (token ? "?access_token=" + encodeURIComponent(token) : ""));
  ws.onmessage = (event) => show(card, JSON.parse(event.data));
  ws.onclose = () => {
    card.state.textContent = "disconnected";
    setTimeout(() => connect(card), 1000);
  };
}
async function command(card, what) {
  const answer = await api("/v1/scales/" + encodeURIComponent(card.name) + "/" + what,
                           {method: "POST", headers: {"Content-Type": "application/json"}, body: "{}"});
  const body = await answer.json();
  card.error.textContent = answer.ok ? "" : body.error.name + ": " + body.error.message;
  if (answer.ok) card.root.dataset.last = what;
}
async function weighForSale(card) {
  card.sale.textContent = "weighing...";
  const answer = await api("/v1/scales/" + encodeURIComponent(card.name) + "/sale-weight?timeout_ms=3000");
  const body = await answer.json();
  card.sale.textContent = answer.ok ? "Sale " + body.sequence + ": " + body.text + " " + body.unit
                                    : body.error.name + ": " + body.error.message;
  card.root.dataset.sale = answer.ok ? body.sequence : body.error.name;
}
async function start() {
  const list = document.getElementById("scales");
  const answer = await api("/v1/scales");
  if (answer.status === 401) return askToken(list);
  const body = await answer.json();
  list.textContent = "";
  for (const scale of body.scales) {
    const card = {name: scale.name, root: element("div", "scale")};
    card.root.id = "scale-" + scale.name;
    card.root.appendChild(element("h2", "", scale.name + (scale.model ? " (" + scale.model + ")" : "")));
    card.root.appendChild(element("div", "connection", scale.connection + ", " + scale.protocol));
    card.weight = card.root.appendChild(element("div", "weight", "-"));
    card.state = card.root.appendChild(element("div", "state", scale.state));
    card.error = card.root.appendChild(element("div", "error"));
    for (const what of ["zero", "tare"]) {
      const button = card.root.appendChild(element("button", what, what === "zero" ? "Zero" : "Tare"));
      button.onclick = () => command(card, what);
    }
    card.root.appendChild(element("button", "weigh", "Weigh for sale")).onclick = () => weighForSale(card);
    card.sale = card.root.appendChild(element("div", "sale"));
    list.appendChild(card.root);
    connect(card);
  }
}
// The machine's serial ports: which one the scale is on, and whether another program holds it.
async function listPorts() {
  const answer = await api("/v1/ports");
  if (!answer.ok) return;
  const table = document.getElementById("ports");
  const row = table.appendChild(element("tr"));
  for (const heading of ["Port", "Stable name", "Bus", "USB ids", "Serial", "Product", "Access"]) {
    row.appendChild(element("th", "", heading));
  }
  for (const port of (await answer.json()).ports) {
    const line = table.appendChild(element("tr", "port"));
    const ids = port.vendor_id ? port.vendor_id + ":" + port.product_id : "";
    const product = [port.manufacturer, port.product].filter(Boolean).join(" ");
    for (const text of [port.name, port.stable_name, port.bus, ids, port.serial_number, product, port.access]) {
      line.appendChild(element("td", "", text));
    }
  }
}
start().then(listPorts);
</script>
</body>
</html>
)PAGE";
  return page;
}

}  // namespace ScaleService
