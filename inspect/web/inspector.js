// The inspector's page: the call list, one call's values, observers,
// counters, journal and statistics, with live plots. Every value is put in
// the page as text (textContent), never as markup.
"use strict";

const state = {
  calls: [],
  callId: null,
  plot: null,
  fieldsShown: "",
};

function el(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined && text !== null) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

function row(cells) {
  const tr = document.createElement("tr");
  for (const cell of cells) {
    tr.appendChild(cell instanceof Node ? cell : el("td", cell));
  }
  return tr;
}

async function fetchJson(url) {
  const response = await fetch(url, { cache: "no-store" });
  if (!response.ok) throw new Error(url + ": HTTP " + response.status);
  return response.json();
}

function callMatches(call, filter) {
  if (!filter) return true;
  if (String(call.callId).includes(filter)) return true;
  for (const values of Object.values(call.groups || {})) {
    for (const [name, value] of Object.entries(values)) {
      if (name.toLowerCase().includes(filter) || value.toLowerCase().includes(filter)) return true;
    }
  }
  return false;
}

function renderCalls() {
  const filter = document.getElementById("call-filter").value.trim().toLowerCase();
  const list = document.getElementById("calls");
  list.replaceChildren();
  for (const call of state.calls) {
    if (!callMatches(call, filter)) continue;
    const item = el("li", "call " + call.callId);
    item.dataset.callId = String(call.callId);
    if (call.callId === state.callId) item.classList.add("selected");
    item.appendChild(el("span", (call.statistics || []).join(", ") || "no statistics", "kinds"));
    item.addEventListener("click", () => selectCall(call.callId));
    list.appendChild(item);
  }
}

async function refreshCalls() {
  try {
    const data = await fetchJson("/api/v1/calls");
    state.calls = data.calls;
    renderCalls();
    const totals = data.totals;
    document.getElementById("totals").textContent = totals
      ? "stores created " + totals.stores + ", destroyed " + totals.storesDestroyed
      : "";
    document.getElementById("status").textContent =
      data.calls.length + " calls · " + new Date().toLocaleTimeString();
    if (state.callId !== null) renderCounters();
  } catch (error) {
    document.getElementById("status").textContent = "not reachable: " + error.message;
  }
}

function renderCounters() {
  const call = state.calls.find((c) => c.callId === state.callId);
  const body = document.querySelector("#counters tbody");
  body.replaceChildren();
  if (!call) return;
  body.appendChild(row([el("th", "observers"), el("td", call.observers ?? "?")]));
  for (const [name, value] of Object.entries(call.counters || {})) {
    body.appendChild(row([el("th", name), el("td", value)]));
  }
}

function renderValues(config) {
  const search = document.getElementById("value-search").value.trim().toLowerCase();
  const box = document.getElementById("values");
  box.replaceChildren();
  for (const group of config.groups) {
    const entries = group.entries.filter((e) => !search ||
      e.name.toLowerCase().includes(search) || e.value.toLowerCase().includes(search));
    if (entries.length === 0) continue;
    box.appendChild(el("div", group.group + " (" + group.number + ")", "group-name"));
    const table = el("table");
    table.dataset.group = group.group;
    for (const entry of entries) {
      const value = el("td", entry.value, "value");
      const toggle = el("td");
      if (entry.toggle !== undefined) {
        toggle.appendChild(el("span", "#" + entry.toggle + " "));
        const on = entry.on === true ? "on" : entry.on === false ? "off" : "?";
        toggle.appendChild(el("span", on, "toggle-" + on));
      }
      const tr = row([el("td", entry.name), value, toggle]);
      tr.dataset.name = entry.name;
      table.appendChild(tr);
    }
    box.appendChild(table);
  }
}

async function refreshValues() {
  if (state.callId === null) return;
  try {
    renderValues(await fetchJson("/api/v1/calls/" + state.callId + "/config"));
  } catch (error) {
    document.getElementById("values").replaceChildren(el("p", error.message, "muted"));
  }
}

function microsToTime(us) {
  return new Date(us / 1000).toLocaleTimeString();
}

async function refreshJournal() {
  if (state.callId === null) return;
  const body = document.querySelector("#journal tbody");
  try {
    const journal = await fetchJson("/api/v1/calls/" + state.callId + "/journal");
    body.replaceChildren();
    for (const e of journal.entries.slice().reverse()) {
      body.appendChild(row([e.sequence, microsToTime(e.timeUs), e.thread, e.group,
        e.operation, e.name ?? "", e.old ?? "", e.new ?? "", e.result]));
    }
  } catch (error) {
    body.replaceChildren(row([error.message]));
  }
}

function fieldKey(kind, field) {
  return kind + ":" + field.label;
}

function renderFields(stats) {
  const search = document.getElementById("field-search").value.trim().toLowerCase();
  const body = document.querySelector("#fields tbody");
  const shown = JSON.stringify([search, stats.objects.map((o) => [o.kind, o.fields.length])]);
  const rebuild = shown !== state.fieldsShown;
  state.fieldsShown = shown;
  if (rebuild) body.replaceChildren();
  let index = 0;
  for (const object of stats.objects) {
    for (const field of object.fields) {
      const key = fieldKey(object.kind, field);
      if (search && !key.toLowerCase().includes(search) && !field.setter.toLowerCase().includes(search)) continue;
      if (rebuild) {
        const box = el("input");
        box.type = "checkbox";
        box.dataset.field = key;
        box.checked = state.plot.has(key);
        box.addEventListener("change", () => {
          if (box.checked) state.plot.add(key); else state.plot.remove(key);
          renderLegend();
        });
        const pick = el("td");
        pick.appendChild(box);
        body.appendChild(row([pick, key, field.type, field.setter, el("td", field.text, "value")]));
      } else {
        const tr = body.children[index];
        if (tr) tr.lastChild.textContent = field.text;
      }
      index++;
    }
  }
}

function renderLegend() {
  const legend = document.getElementById("legend");
  legend.replaceChildren();
  for (const label of state.plot.labels()) {
    const item = el("li");
    const swatch = el("span", null, "swatch");
    swatch.style.background = state.plot.add(label);
    item.appendChild(swatch);
    item.appendChild(el("span", label));
    legend.appendChild(item);
  }
}

async function sampleStats() {
  if (state.callId === null) return;
  const callId = state.callId;
  try {
    const stats = await fetchJson("/api/v1/calls/" + callId + "/stats");
    if (callId !== state.callId) return;
    const now = Date.now();
    for (const object of stats.objects) {
      for (const field of object.fields) {
        const key = fieldKey(object.kind, field);
        if (state.plot.has(key)) state.plot.push(key, now, field.value);
      }
    }
    renderFields(stats);
  } catch (error) {
    document.querySelector("#fields tbody").replaceChildren(row(["no statistics: " + error.message]));
    state.fieldsShown = "";
  }
  state.plot.draw();
}

function selectCall(callId) {
  state.callId = callId;
  state.fieldsShown = "";
  state.plot = new OstrelPlot(document.getElementById("plot"), 300);
  document.getElementById("call").hidden = false;
  document.getElementById("call-title").textContent = "Call " + callId;
  const config = document.getElementById("download-config");
  config.href = "/api/v1/calls/" + callId + "/config?format=document";
  config.download = "call-" + callId + "-config.json";
  const stats = document.getElementById("download-stats");
  stats.href = "/api/v1/calls/" + callId + "/stats";
  stats.download = "call-" + callId + "-stats.json";
  document.querySelector("#fields tbody").replaceChildren();
  renderLegend();
  renderCalls();
  renderCounters();
  refreshValues();
  refreshJournal();
  sampleStats();
}

function start() {
  document.getElementById("call-filter").addEventListener("input", renderCalls);
  document.getElementById("value-search").addEventListener("input", refreshValues);
  document.getElementById("field-search").addEventListener("input", () => {
    state.fieldsShown = "";
    sampleStats();
  });
  refreshCalls();
  setInterval(refreshCalls, 2000);
  setInterval(refreshValues, 2000);
  setInterval(refreshJournal, 2000);
  setInterval(sampleStats, 1000);
}

document.addEventListener("DOMContentLoaded", start);
