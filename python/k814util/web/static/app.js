// The quick-look page: one page, hash routes (shareable links), everything read from the
// server's /api/v1 so the page shows the numbers a script gets. Plain JavaScript, no build step;
// charts by the plotly.js that the server ships.
"use strict";

(() => {
  const API = "api/v1";
  // A token in the page's own address goes with every request: the server on a non-local
  // address refuses requests without it, and an EventSource cannot send headers.
  const TOKEN = new URLSearchParams(window.location.search).get("token");
  const MAX_POINTS = 20000;
  const LOG_ROWS = 20000;
  const MODES = ["raw", "eng", "sci"];
  const PLOT_CONFIG = { responsive: true, displaylogo: false, scrollZoom: false };
  const COLORS = ["#1f5fa8", "#c2410c", "#15803d", "#7e22ce", "#0e7490", "#a16207", "#be123c"];

  // ------------------------------------------------------------------ requests and errors

  class ApiError extends Error {
    constructor(status, message) {
      super(message);
      this.status = status;
    }
  }

  function authHeaders() {
    const headers = { Accept: "application/json" };
    if (TOKEN) headers.Authorization = `Bearer ${TOKEN}`;
    return headers;
  }

  async function api(path, signal) {
    let response;
    try {
      response = await fetch(API + path, { headers: authHeaders(), signal });
    } catch (error) {
      if (error.name === "AbortError") throw error;
      throw new ApiError(0, `The server cannot be reached (${error.message}).`);
    }
    const text = await response.text();
    let body = null;
    try {
      body = text ? JSON.parse(text) : null;
    } catch (_) {
      body = null;
    }
    if (!response.ok) {
      const message =
        body && typeof body.error === "string"
          ? body.error
          : `${response.status} ${response.statusText}${text && !body ? `: ${text.slice(0, 300)}` : ""}`;
      throw new ApiError(response.status, message);
    }
    if (body === null) throw new ApiError(response.status, "The server's answer is not JSON.");
    return body;
  }

  function eventsUrl(runId) {
    const url = `${API}/runs/${encodeURIComponent(runId)}/events`;
    return TOKEN ? `${url}?token=${encodeURIComponent(TOKEN)}` : url;
  }

  const errorBox = () => document.getElementById("error");

  function showError(error) {
    if (!error || error.name === "AbortError") return;
    const message = error instanceof ApiError || error instanceof Error ? error.message : String(error);
    const status = error instanceof ApiError && error.status ? ` (${error.status})` : "";
    document.getElementById("error-text").textContent = message + status;
    errorBox().hidden = false;
  }

  function clearError() {
    errorBox().hidden = true;
    document.getElementById("error-text").textContent = "";
  }

  // An error inside a view replaces nothing else on the page: the message goes where the
  // content would have been, and into the banner.
  function failInto(el, error) {
    if (!error || error.name === "AbortError") return;
    showError(error);
    if (el) {
      el.replaceChildren(h("div", { class: "error-panel" }, h("strong", {}, "Error: "), error.message));
    }
  }

  // ------------------------------------------------------------------ small DOM helpers

  function h(tag, attrs, ...children) {
    const el = document.createElement(tag);
    for (const [key, value] of Object.entries(attrs || {})) {
      if (value === null || value === undefined || value === false) continue;
      if (key.startsWith("on")) el.addEventListener(key.slice(2), value);
      else if (key === "dataset") Object.assign(el.dataset, value);
      else el.setAttribute(key, value === true ? "" : value);
    }
    for (const child of children.flat()) {
      if (child === null || child === undefined || child === false) continue;
      el.append(child instanceof Node ? child : document.createTextNode(String(child)));
    }
    return el;
  }

  function debounce(fn, ms) {
    let timer = null;
    return (...args) => {
      clearTimeout(timer);
      timer = setTimeout(() => fn(...args), ms);
    };
  }

  function fmtNumber(value) {
    if (value === null || value === undefined || value === "") return "";
    if (typeof value !== "number") return String(value);
    if (!Number.isFinite(value)) return String(value);
    if (Number.isInteger(value)) return String(value);
    const abs = Math.abs(value);
    if (abs !== 0 && (abs < 1e-3 || abs >= 1e7)) return value.toExponential(4);
    return String(Number(value.toPrecision(7)));
  }

  function fmtBytes(n) {
    if (typeof n !== "number") return n ?? "";
    const units = ["B", "kB", "MB", "GB", "TB"];
    let i = 0;
    let v = n;
    while (v >= 1000 && i < units.length - 1) {
      v /= 1000;
      i += 1;
    }
    return i === 0 ? `${n} B` : `${v.toFixed(1)} ${units[i]}`;
  }

  // ------------------------------------------------------------------ time: relative or UTC

  const timeSelect = () => document.getElementById("time-mode");
  let timeMode = localStorage.getItem("k814util.time") === "utc" ? "utc" : "relative";

  function utcText(unix) {
    if (unix === null || unix === undefined || !Number.isFinite(unix)) return "";
    return new Date(unix * 1000).toISOString().replace("T", " ").replace("Z", "");
  }

  // Plotly's date axes read "YYYY-MM-DD hh:mm:ss.ffffff" without a zone; the page always
  // means UTC by them, so they are parsed back by hand (Date.parse would take local time).
  function parseUtc(text) {
    const m = /^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2})(?::(\d{2})(?::(\d{2})(\.\d+)?)?)?)?/.exec(text);
    if (!m) return NaN;
    const ms = Date.UTC(+m[1], +m[2] - 1, +m[3], +(m[4] || 0), +(m[5] || 0), +(m[6] || 0));
    return ms / 1000 + (m[7] ? parseFloat(m[7]) : 0);
  }

  class TimeAxis {
    constructor(t0) {
      this.t0 = Number.isFinite(t0) ? t0 : null;
      this.utc = timeMode === "utc" && this.t0 !== null;
    }
    x(rel) {
      return this.utc ? utcText(this.t0 + rel) : rel;
    }
    xs(rels) {
      if (!this.utc) return Array.from(rels);
      return Array.from(rels, (r) => utcText(this.t0 + r));
    }
    rel(x) {
      if (typeof x === "number") return this.utc ? x / 1000 - this.t0 : x;
      const asNumber = Number(x);
      if (!this.utc && Number.isFinite(asNumber)) return asNumber;
      return parseUtc(String(x)) - this.t0;
    }
    axis() {
      return this.utc
        ? { type: "date", title: { text: "UTC" } }
        : { type: "linear", title: { text: "seconds since T0" } };
    }
    text(rel) {
      if (rel === null || rel === undefined || !Number.isFinite(rel)) return "";
      return this.utc ? utcText(this.t0 + rel) : `${rel.toFixed(3)} s`;
    }
  }

  // ------------------------------------------------------------------ tables

  const REL_COLUMNS = /(^|_)(relative_time|start_relative_time|end_relative_time|start_relative|end_relative|worst_relative|marker_time|start|end)$/;
  const UNIX_COLUMNS = /(^|_)unix(_time)?$/;

  function cellText(column, value, axis) {
    if (value === null || value === undefined) return "";
    if (typeof value === "number" && REL_COLUMNS.test(column) && axis) return axis.text(value);
    if (typeof value === "number" && UNIX_COLUMNS.test(column)) return utcText(value);
    if (typeof value === "boolean") return value ? "yes" : "no";
    if (typeof value === "object") return JSON.stringify(value);
    return fmtNumber(value);
  }

  function rowsTable(columns, rows, axis, options = {}) {
    const hidden = new Set(options.hide || []);
    const shown = columns.filter((c) => !hidden.has(c));
    const body = h("tbody");
    rows.forEach((row, i) => {
      const tr = h(
        "tr",
        { class: options.onclick ? "clickable" : null },
        shown.map((c) => {
          const v = row[c];
          const cls = typeof v === "number" ? "num" : typeof v === "string" && v.includes("/") ? "path" : null;
          return h("td", { class: cls }, cellText(c, v, axis));
        }),
      );
      if (options.onclick) tr.addEventListener("click", () => options.onclick(row, i));
      if (options.decorate) options.decorate(row, tr, i);
      body.append(tr);
    });
    return h(
      "div",
      { class: "table-wrap" },
      h(
        "table",
        { class: "data", id: options.id || null },
        h("thead", {}, h("tr", {}, shown.map((c) => h("th", {}, c.replace(/_/g, " "))))),
        body,
      ),
    );
  }

  // A table answer holds at most a page of rows: say so when there are more.
  function pageNote(answer) {
    const rows = (answer.rows || []).length;
    if (!Number.isFinite(answer.total) || answer.total <= rows) return "";
    return h("div", { class: "muted" }, `rows ${answer.offset + 1} to ${answer.offset + rows} of ${answer.total}`);
  }

  // Columns of a rows/columns answer, in the server's order; rows' own keys when it gave none.
  function columnsOf(answer) {
    if (Array.isArray(answer.columns) && answer.columns.length) return answer.columns;
    const rows = answer.rows || [];
    return rows.length ? Object.keys(rows[0]) : [];
  }

  // ------------------------------------------------------------------ routing

  function parseHash() {
    const raw = window.location.hash.replace(/^#/, "") || "/";
    const [path, query = ""] = raw.split("?");
    const parts = path.split("/").filter(Boolean).map(decodeURIComponent);
    return { parts, query: new URLSearchParams(query) };
  }

  function runHash(id, tab, query) {
    let hash = `#/run/${encodeURIComponent(id)}`;
    if (tab && tab !== "summary") hash += `/${tab}`;
    const q = query ? query.toString() : "";
    return q ? `${hash}?${q}` : hash;
  }

  // Changing the address from inside a view keeps it shareable without re-rendering the view.
  function replaceHash(hash) {
    if (window.location.hash !== hash) {
      window.history.replaceState(null, "", `${window.location.pathname}${window.location.search}${hash}`);
    }
  }

  function setCrumbs(...items) {
    const crumbs = document.getElementById("crumbs");
    crumbs.replaceChildren();
    items.forEach((item, i) => {
      if (i) crumbs.append(h("span", { class: "sep" }, "/"));
      crumbs.append(item.href ? h("a", { href: item.href }, item.text) : h("span", {}, item.text));
    });
  }

  let current = null; // { runContext, cleanup }

  function leaveView() {
    if (current && current.cleanup) {
      for (const fn of current.cleanup.splice(0)) {
        try {
          fn();
        } catch (_) {
          /* a view that cannot tidy up must not stop the next one */
        }
      }
    }
  }

  let routing = 0;

  async function route() {
    const mine = ++routing;
    try {
      await showRoute();
    } finally {
      // Done, well or with its error shown: the browser tests wait for this.
      if (mine === routing) document.body.dataset.ready = "1";
    }
  }

  async function showRoute() {
    const { parts, query } = parseHash();
    clearError();
    const view = document.getElementById("view");
    document.body.dataset.view = "";
    document.body.dataset.ready = "";
    if (parts[0] === "run" && parts[1]) {
      const tab = ["trends", "log", "spectra"].includes(parts[2]) ? parts[2] : "summary";
      await showRun(view, parts[1], tab, query);
    } else {
      if (current && current.run) current.run.close();
      leaveView();
      current = { run: null, cleanup: [] };
      await showCatalogue(view, query);
    }
  }

  // ------------------------------------------------------------------ catalogue

  function globRegex(pattern) {
    const escaped = pattern.replace(/[.+^${}()|[\]\\]/g, "\\$&").replace(/\*/g, ".*").replace(/\?/g, ".");
    return new RegExp(`^${escaped}$`, "i");
  }

  async function showCatalogue(view, query) {
    setCrumbs({ text: "Runs", href: "#/" });
    document.body.dataset.view = "catalogue";
    const mission = h("select", { id: "f-mission" }, h("option", { value: "" }, "all"));
    const name = h("input", { id: "f-name", type: "search", placeholder: "name or *pattern*" });
    const since = h("input", { id: "f-since", type: "date" });
    const until = h("input", { id: "f-until", type: "date" });
    const count = h("span", { class: "muted", id: "run-count" });
    const holder = h("div", {}, h("div", { class: "empty" }, "Loading the catalogue…"));
    view.replaceChildren(
      h("h1", {}, "Runs"),
      h(
        "div",
        { class: "panel" },
        h(
          "div",
          { class: "filters" },
          h("label", {}, "Mission", mission),
          h("label", {}, "Name", name),
          h("label", {}, "Started since", since),
          h("label", {}, "until", until),
          count,
        ),
        holder,
      ),
    );
    let runs;
    try {
      runs = (await api("/runs")).runs || [];
    } catch (error) {
      failInto(holder, error);
      return;
    }
    for (const m of [...new Set(runs.map((r) => r.mission))].sort()) {
      mission.append(h("option", { value: m }, m));
    }
    mission.value = query.get("mission") || "";
    name.value = query.get("name") || "";
    since.value = query.get("since") || "";
    until.value = query.get("until") || "";

    const draw = () => {
      const q = new URLSearchParams();
      if (mission.value) q.set("mission", mission.value);
      if (name.value) q.set("name", name.value);
      if (since.value) q.set("since", since.value);
      if (until.value) q.set("until", until.value);
      replaceHash(q.toString() ? `#/?${q}` : "#/");
      const text = name.value.trim();
      const matcher = /[*?]/.test(text) ? globRegex(text) : null;
      const from = since.value ? Date.parse(`${since.value}T00:00:00Z`) : -Infinity;
      const to = until.value ? Date.parse(`${until.value}T00:00:00Z`) + 86400000 : Infinity;
      const shown = runs.filter((r) => {
        if (mission.value && r.mission !== mission.value) return false;
        const label = `${r.test_name || ""} ${r.tid ?? ""} ${r.telemetry_file || ""}`;
        if (text && !(matcher ? matcher.test(r.test_name || "") : label.toLowerCase().includes(text.toLowerCase())))
          return false;
        const started = Date.parse(r.start_time);
        if (Number.isFinite(started) && (started < from || started >= to)) return false;
        return true;
      });
      count.textContent = `${shown.length} of ${runs.length} runs`;
      const body = h("tbody");
      for (const r of shown) {
        const href = runHash(r.id, "summary");
        const tr = h(
          "tr",
          { class: "clickable", dataset: { run: r.id } },
          h("td", {}, r.mission),
          h("td", {}, r.group),
          h("td", { class: "num" }, r.tid),
          h("td", {}, h("a", { href }, r.test_name || "(unnamed)")),
          h("td", { class: "mono" }, (r.start_time || "").replace("T", " ")),
          h("td", { class: "num" }, fmtBytes(r.size)),
          h("td", { class: "mono" }, r.telemetry_file),
          h("td", { class: "error" }, r.error || ""),
        );
        tr.addEventListener("click", (event) => {
          if (event.target.tagName !== "A") window.location.hash = href;
        });
        body.append(tr);
      }
      holder.replaceChildren(
        shown.length
          ? h(
              "div",
              { class: "table-wrap" },
              h(
                "table",
                { class: "data", id: "runs" },
                h(
                  "thead",
                  {},
                  h(
                    "tr",
                    {},
                    ["Mission", "Group", "TID", "Test", "Started (UTC)", "Size", "Telemetry file", "Error"].map((c) =>
                      h("th", {}, c),
                    ),
                  ),
                ),
                body,
              ),
            )
          : h("div", { class: "empty" }, runs.length ? "No run matches these filters." : "The archive has no runs."),
      );
    };
    for (const input of [mission, since, until]) input.addEventListener("change", draw);
    name.addEventListener("input", debounce(draw, 150));
    draw();
  }

  // ------------------------------------------------------------------ a run: loading and live events

  // What the page knows of the run it shows; kept while moving between its tabs, so a tab
  // switch neither binds again nor reopens the event stream.
  class RunContext {
    constructor(id) {
      this.id = id;
      this.info = null;
      this.source = null;
      this.handlers = { packets: new Set(), messages: new Set(), markers: new Set() };
      this.closed = false;
    }

    path(suffix) {
      return `/runs/${encodeURIComponent(this.id)}${suffix || ""}`;
    }

    get axis() {
      return new TimeAxis(this.info ? this.info.t0_unix : null);
    }

    // Every data request waits while the server binds the file; meanwhile the status tells
    // how far the binding has got, which the progress bar shows.
    async load(progressEl) {
      const bar = progressEl.querySelector(".bar");
      const label = progressEl.querySelector(".label");
      let polling = true;
      const poll = async () => {
        while (polling && !this.closed) {
          try {
            const st = await api(this.path("/status"));
            if (!polling) break;
            const p = typeof st.progress === "number" ? Math.max(0, Math.min(1, st.progress)) : null;
            bar.classList.toggle("indeterminate", p === null);
            bar.firstElementChild.style.width = p === null ? "" : `${(p * 100).toFixed(1)}%`;
            const percent = p === null ? "" : `${(p * 100).toFixed(0)} % — `;
            const what = st.state === "binding" ? "reading the telemetry file" : st.state;
            label.textContent = st.state === "ready" ? "Ready" : `${percent}${st.message || what}`;
            if (st.state === "ready" || st.state === "failed") break;
          } catch (error) {
            break; // the main request reports what went wrong
          }
          await new Promise((resolve) => setTimeout(resolve, 250));
        }
      };
      const polled = poll();
      try {
        this.info = await api(this.path());
      } finally {
        polling = false;
      }
      await polled;
      return this.info;
    }

    open() {
      if (this.source || this.closed) return;
      this.source = new EventSource(eventsUrl(this.id));
      for (const kind of Object.keys(this.handlers)) {
        this.source.addEventListener(kind, (event) => {
          let data = {};
          try {
            data = JSON.parse(event.data);
          } catch (_) {
            data = {};
          }
          if (kind === "packets") this.onPackets(data);
          for (const fn of this.handlers[kind]) {
            Promise.resolve()
              .then(() => fn(data))
              .catch(showError);
          }
        });
      }
      this.source.addEventListener("error", (event) => {
        document.getElementById("live").classList.add("stale");
        // The server's own "error" event says why it stopped watching (the run failed).
        if (event.data) {
          let message = event.data;
          try {
            message = JSON.parse(event.data).error || message;
          } catch (_) {
            /* the text as it came */
          }
          showError(new Error(`Live updates stopped: ${message}`));
          this.suspend();
        }
      });
      this.source.addEventListener("open", () => {
        document.getElementById("live").classList.remove("stale");
      });
    }

    onPackets(data) {
      const n = Number(data.packets);
      const live = document.getElementById("live");
      if (Number.isFinite(n) && this.info) {
        this.info.packets = Math.max(this.info.packets || 0, n);
      }
      if (Number.isFinite(data.last_relative_time) && this.info && Array.isArray(this.info.time_span)) {
        this.info.time_span[1] = Math.max(this.info.time_span[1] ?? -Infinity, data.last_relative_time);
      }
      live.hidden = false;
      live.textContent = `live · ${this.info ? this.info.packets : n} packets`;
    }

    on(kind, fn) {
      this.handlers[kind].add(fn);
      return () => this.handlers[kind].delete(fn);
    }

    // A page the browser keeps in its back-forward cache must not keep its stream open: a
    // browser allows only a few connections per server, and old streams would take them all.
    suspend() {
      if (this.source) this.source.close();
      this.source = null;
    }

    resume() {
      if (!this.closed && this.info) this.open();
    }

    close() {
      this.closed = true;
      if (this.source) this.source.close();
      this.source = null;
      const live = document.getElementById("live");
      live.hidden = true;
      live.classList.remove("stale");
    }
  }

  function runTitle(info, id) {
    const test = (info && info.summary && info.summary.test) || {};
    const meta = test.meta || {};
    return meta.tid_dir || (meta.tid ? `TID ${meta.tid}` : id);
  }

  async function showRun(view, id, tab, query) {
    const sameRun = current && current.run && current.run.id === id && current.run.info;
    leaveView();
    if (!sameRun) {
      if (current && current.run) current.run.close();
      current = { run: new RunContext(id), cleanup: [] };
    } else {
      current.cleanup = [];
    }
    const ctx = current.run;
    setCrumbs({ text: "Runs", href: "#/" }, { text: runTitle(ctx.info, id) });
    if (!ctx.info) {
      const progress = h(
        "div",
        { class: "panel progress", id: "progress" },
        h("h2", {}, "Opening the run"),
        h("div", { class: "bar indeterminate" }, h("div")),
        h("div", { class: "label muted" }, "Asking the server…"),
      );
      view.replaceChildren(progress);
      try {
        await ctx.load(progress);
      } catch (error) {
        if (current.run !== ctx) return;
        failInto(progress, error);
        progress.append(h("p", {}, h("a", { href: "#/" }, "Back to the runs")));
        document.body.dataset.view = "run-error";
        return;
      }
      if (current.run !== ctx) return; // the user went elsewhere meanwhile
      ctx.open();
      setCrumbs({ text: "Runs", href: "#/" }, { text: runTitle(ctx.info, id) });
    }
    const info = ctx.info;
    const tarn = info.mission === "tarn";
    const tabs = [
      ["summary", "Summary"],
      ["trends", "Trends"],
      ["log", "Log & events"],
    ];
    if (tarn) tabs.push(["spectra", "Spectra"]);
    const content = h("div", { id: "tab-content" });
    const test = (info.summary && info.summary.test) || {};
    const meta = test.meta || {};
    view.replaceChildren(
      h(
        "div",
        { class: "run-head" },
        h("h1", {}, runTitle(info, id)),
        h("span", { class: "pill" }, info.mission),
        test.group ? h("span", { class: "pill" }, test.group) : null,
        meta.started_utc ? h("span", { class: "muted" }, `started ${meta.started_utc}`) : null,
      ),
      h(
        "nav",
        { class: "tabs" },
        tabs.map(([key, label]) =>
          h("a", { href: runHash(id, key), class: key === tab ? "active" : null, id: `tab-${key}` }, label),
        ),
      ),
      content,
    );
    document.body.dataset.view = tab;
    const render = { summary: renderSummary, trends: renderTrends, log: renderLog, spectra: renderSpectra }[tab];
    if (tab === "spectra" && !tarn) {
      failInto(content, new Error("Mass spectra exist for TARN runs only."));
      return;
    }
    try {
      await render(ctx, content, query, current.cleanup);
    } catch (error) {
      failInto(content, error);
    }
  }

  // ------------------------------------------------------------------ summary

  function kv(pairs) {
    return h(
      "dl",
      { class: "kv" },
      pairs.filter(([, v]) => v !== undefined && v !== null && v !== "").flatMap(([k, v]) => [h("dt", {}, k), h("dd", {}, v)]),
    );
  }

  function typeRows(types) {
    return (types || []).map((t) =>
      Array.isArray(t) ? { type: t[0], name: t[1], count: t[2] } : { type: t.type, name: t.name, count: t.count },
    );
  }

  async function renderSummary(ctx, el, _query, cleanup) {
    const draw = () => {
      const info = ctx.info;
      const axis = ctx.axis;
      const s = info.summary || {};
      const test = s.test || {};
      const meta = test.meta || {};
      const packets = s.packets || {};
      const span = Array.isArray(info.time_span) ? info.time_span : [];
      const duration = span.length === 2 && Number.isFinite(span[0]) && Number.isFinite(span[1]) ? span[1] - span[0] : null;
      const synced = packets.synced;
      const types = typeRows(packets.types);
      const paths = Array.isArray(test.paths) ? test.paths : [];
      el.replaceChildren(
        h(
          "div",
          { class: "grid" },
          h(
            "div",
            { class: "panel", id: "summary-test" },
            h("h2", {}, "Test"),
            kv([
              ["Mission", info.mission],
              ["Model", meta.model],
              ["Configuration group", test.group],
              ["TID", meta.tid],
              ["Directory", meta.tid_dir],
              ["Started", meta.started_utc || meta.started],
              ["Telemetry file", test.file],
              ["Size", fmtBytes(test.size)],
              ["Configuration file", test.config],
            ]),
          ),
          h(
            "div",
            { class: "panel", id: "summary-packets" },
            h("h2", {}, "Packets and time"),
            kv([
              ["Packets", h("span", { id: "packet-count" }, info.packets ?? packets.packets)],
              ["First", axis.text(span[0])],
              ["Last", axis.text(span[1])],
              ["Duration", duration === null ? "" : `${duration.toFixed(3)} s`],
              ["T0 (UTC)", utcText(info.t0_unix ?? packets.t0_unix)],
              ["T0 ticks", packets.t0_ticks],
              [
                "Clock",
                synced === undefined
                  ? ""
                  : h("span", { class: `pill ${synced ? "ok" : "warn"}` }, synced ? "synchronised" : "not synchronised"),
              ],
            ]),
          ),
          types.length
            ? h("div", { class: "panel" }, h("h2", {}, "Packets by type"), rowsTable(["type", "name", "count"], types, axis, { id: "packet-types" }))
            : null,
          paths.length
            ? h(
                "div",
                { class: "panel" },
                h("h2", {}, "Configuration"),
                rowsTable(["key", "value", "exists", "required"], paths, axis, {
                  decorate: (row, tr) => {
                    if (row.required && !row.exists) tr.classList.add("error");
                  },
                }),
              )
            : null,
        ),
        h("details", { class: "panel" }, h("summary", {}, "Everything the summary holds (JSON)"), h("pre", { class: "mono" }, JSON.stringify(s, null, 2))),
      );
    };
    draw();
    cleanup.push(ctx.on("packets", draw));
  }

  // ------------------------------------------------------------------ shading: markers, meta-markers, limits

  // Rows of markers and meta-markers as spans in relative seconds. A marker without an end
  // lasts until the next one, the last until the end of the file.
  function markerSpans(rows, lastTime) {
    const starts = rows.map((r) => r.start ?? r.start_relative_time ?? r.start_relative ?? r.relative_time);
    return rows
      .map((r, i) => {
        let end = r.end ?? r.end_relative_time ?? r.end_relative;
        if (end === null || end === undefined || !Number.isFinite(end) || end <= starts[i]) {
          const next = starts.slice(i + 1).find((s) => Number.isFinite(s) && s > starts[i]);
          end = next ?? lastTime;
        }
        return {
          start: starts[i],
          end,
          id: r.marker_id ?? r.meta_marker_id ?? r.id ?? i,
          text: r.text ?? r.msg ?? "",
        };
      })
      .filter((s) => Number.isFinite(s.start));
  }

  function itemMatches(row, item) {
    const key = String(item.key).toUpperCase();
    return (
      (row.mnemonic && String(row.mnemonic).toUpperCase() === key) ||
      (row.id !== undefined && String(row.id) === String(item.key)) ||
      (item.mnemonic && row.mnemonic === item.mnemonic) ||
      (item.id !== undefined && item.id !== null && String(row.id) === String(item.id))
    );
  }

  // ------------------------------------------------------------------ trends

  async function renderTrends(ctx, el, query, cleanup) {
    const axis = ctx.axis;
    const lastTime = () => (Array.isArray(ctx.info.time_span) ? ctx.info.time_span[1] : null);
    const state = {
      mode: MODES.includes(query.get("mode")) ? query.get("mode") : "sci",
      items: query.getAll("item").filter(Boolean),
      range: null,
      markers: [],
      meta: [],
      limits: [],
      violations: [],
      charts: new Map(),
    };
    const qs = Number(query.get("start"));
    const qe = Number(query.get("end"));
    if (query.has("start") && query.has("end") && Number.isFinite(qs) && Number.isFinite(qe) && qe > qs) {
      state.range = [qs, qe];
    }

    const search = h("input", { type: "search", id: "item-search", placeholder: "pattern: EMON, SEB:T_*" });
    const list = h("ul", { id: "item-list" });
    const listNote = h("div", { class: "muted", id: "item-note" });
    const modeSelect = h("select", { id: "mode" }, MODES.map((m) => h("option", { value: m }, m)));
    modeSelect.value = state.mode;
    const resetButton = h("button", { class: "btn", type: "button", id: "reset-zoom" }, "Whole run");
    const rangeNote = h("span", { class: "muted", id: "range-note" });
    const timeline = h("div", { class: "timeline", id: "timeline" });
    const timelinePanel = h(
      "div",
      { class: "panel", hidden: true },
      h("h2", {}, "Markers and meta-markers"),
      timeline,
      h(
        "div",
        { class: "muted legend" },
        "In the charts: markers as blue bands (M1, M2, …), meta-markers as purple bars along the bottom, ",
        "limit violations as yellow and red spans, limits of the shown value mode as dashed lines. ",
        "Drag to zoom (the range is read again at full resolution), double-click for the whole run.",
      ),
    );
    const charts = h("div", { id: "charts" });
    const hint = h("div", { class: "panel empty", id: "charts-hint" }, "Pick items on the left to draw their trends.");

    el.replaceChildren(
      h(
        "div",
        { class: "trends" },
        h(
          "div",
          { class: "panel picker" },
          h("h2", {}, "Items"),
          search,
          listNote,
          list,
        ),
        h(
          "div",
          {},
          h(
            "div",
            { class: "toolbar" },
            h("label", {}, "Value mode", modeSelect),
            resetButton,
            rangeNote,
          ),
          timelinePanel,
          hint,
          charts,
        ),
      ),
    );

    const syncHash = () => {
      const q = new URLSearchParams();
      for (const item of state.items) q.append("item", item);
      if (state.mode !== "sci") q.set("mode", state.mode);
      if (state.range) {
        q.set("start", state.range[0].toFixed(3));
        q.set("end", state.range[1].toFixed(3));
      }
      replaceHash(runHash(ctx.id, "trends", q));
      rangeNote.textContent = state.range
        ? `showing ${axis.text(state.range[0])} – ${axis.text(state.range[1])}`
        : "showing the whole run";
      hint.hidden = state.items.length > 0;
    };

    // --- the item picker
    let itemRows = [];
    const drawList = () => {
      const chosen = new Set(state.items.map((s) => s.toUpperCase()));
      list.replaceChildren(
        ...itemRows.slice(0, 500).map((row) => {
          const key = row.mnemonic || String(row.id);
          const units = row[`units_${state.mode}`] || row.units || "";
          return h(
            "li",
            {
              class: chosen.has(key.toUpperCase()) ? "on" : null,
              dataset: { item: key },
              title: "Click to add or remove this item's chart",
              onclick: () => toggleItem(key),
            },
            key,
            h("small", {}, [row.description, units ? `[${units}]` : ""].filter(Boolean).join(" ")),
          );
        }),
      );
      listNote.textContent = itemRows.length > 500 ? `first 500 of ${itemRows.length} items` : `${itemRows.length} items`;
    };
    let itemsAbort = null;
    const loadItems = async () => {
      if (itemsAbort) itemsAbort.abort();
      itemsAbort = new AbortController();
      const pattern = search.value.trim();
      try {
        const answer = await api(ctx.path(`/items${pattern ? `?pattern=${encodeURIComponent(pattern)}` : ""}`), itemsAbort.signal);
        itemRows = answer.items || answer.rows || [];
        drawList();
      } catch (error) {
        if (error.name === "AbortError") return;
        itemRows = [];
        list.replaceChildren();
        listNote.textContent = error.message;
        if (!(error instanceof ApiError && error.status === 400)) showError(error);
      }
    };
    search.addEventListener("input", debounce(loadItems, 250));

    // --- shading shared by every chart
    const shapesFor = (chart) => {
      const shapes = [];
      const annotations = [];
      state.markers.forEach((m, i) => {
        if (!Number.isFinite(m.end)) return;
        shapes.push({
          name: `marker ${m.id}`,
          type: "rect",
          xref: "x",
          yref: "paper",
          x0: axis.x(m.start),
          x1: axis.x(m.end),
          y0: 0,
          y1: 1,
          fillcolor: i % 2 ? "#dfe7f1" : "#eef3f9",
          line: { width: 0 },
          layer: "below",
        });
        shapes.push({
          type: "line",
          xref: "x",
          yref: "paper",
          x0: axis.x(m.start),
          x1: axis.x(m.start),
          y0: 0,
          y1: 1,
          line: { color: "#8aa2c0", width: 1 },
          layer: "below",
        });
        annotations.push({
          xref: "x",
          yref: "paper",
          x: axis.x(m.start),
          y: 1,
          xanchor: "left",
          yanchor: "top",
          text: `M${m.id}`,
          showarrow: false,
          font: { size: 10, color: "#4b6384" },
          hovertext: m.text,
        });
      });
      const lane = 0.045;
      state.meta.forEach((m, i) => {
        if (!Number.isFinite(m.end)) return;
        shapes.push({
          name: `meta-marker ${m.id}`,
          type: "rect",
          xref: "x",
          yref: "paper",
          x0: axis.x(m.start),
          x1: axis.x(m.end),
          y0: lane * i,
          y1: lane * (i + 1) - 0.008,
          fillcolor: "#8e5bd0",
          opacity: 0.3,
          line: { width: 0 },
          layer: "above",
        });
      });
      for (const v of state.violations.filter((row) => itemMatches(row, chart))) {
        const start = v.start ?? v.start_relative;
        let end = v.end ?? v.end_relative;
        if (!Number.isFinite(end) || end < start) end = lastTime();
        if (!Number.isFinite(start)) continue;
        // A span of one sample has no width: it gets a sliver of the run, so that it shows.
        const span = ctx.info.time_span || [];
        const sliver = Number.isFinite(span[1] - span[0]) ? (span[1] - span[0]) / 400 : 0.1;
        const red = v.level === "red";
        shapes.push({
          name: `violation ${v.level}`,
          type: "rect",
          xref: "x",
          yref: "paper",
          x0: axis.x(start),
          x1: axis.x(Math.max(end, start + sliver)),
          y0: 0,
          y1: 1,
          fillcolor: red ? "#e5484d" : "#f5c542",
          opacity: red ? 0.22 : 0.25,
          line: { width: 0 },
          layer: "below",
        });
      }
      for (const row of state.limits.filter((r) => itemMatches(r, chart))) {
        for (const set of [1, 2]) {
          if (row[`value_mode_${set}`] !== state.mode) continue;
          const comparison = row[`comparison_${set}`] || "";
          for (const level of ["yellow", "red"]) {
            const value = row[`${level}_${set}`];
            if (typeof value !== "number" || !Number.isFinite(value)) continue;
            const color = level === "red" ? "#c92a2a" : "#c99700";
            shapes.push({
              name: `limit ${level}`,
              type: "line",
              xref: "paper",
              yref: "y",
              x0: 0,
              x1: 1,
              y0: value,
              y1: value,
              line: { color, width: 1.5, dash: "dash" },
            });
            annotations.push({
              xref: "paper",
              yref: "y",
              x: 1,
              y: value,
              xanchor: "right",
              yanchor: "bottom",
              text: `${level} ${comparison} ${fmtNumber(value)}`,
              showarrow: false,
              font: { size: 10, color },
            });
          }
        }
      }
      return { shapes, annotations };
    };

    // --- one chart per item
    let syncing = false;
    const plotWidth = (div) => {
      const size = div._fullLayout && div._fullLayout._size;
      const width = size && size.w ? size.w : div.clientWidth - 90;
      return Math.max(50, Math.min(MAX_POINTS, Math.round(width)));
    };

    class TrendChart {
      constructor(key, index) {
        this.key = key;
        this.mnemonic = null;
        this.id = null;
        this.index = index;
        this.busy = false;
        this.pending = false;
        this.abort = null;
        this.lastRel = null;
        this.plotted = 0;
        this.decimated = false;
        this.badge = h("span", { class: "pill", title: "Points drawn and samples in the shown range" }, "…");
        this.title = h("h2", {}, key);
        this.div = h("div", { class: "chart", id: `chart-${index}`, dataset: { item: key } });
        this.panel = h(
          "div",
          { class: "panel chart-panel" },
          h(
            "div",
            { class: "chart-head" },
            this.title,
            this.badge,
            h("button", { class: "close", type: "button", title: "Remove this chart", onclick: () => toggleItem(key) }, "×"),
          ),
          this.div,
        );
        this.bound = false;
      }

      layout(answer) {
        const { shapes, annotations } = shapesFor(this);
        return {
          margin: { l: 70, r: 16, t: 26, b: 42 },
          xaxis: { ...axis.axis(), ...(state.range ? { range: state.range.map((r) => axis.x(r)), autorange: false } : { autorange: true }) },
          yaxis: { title: { text: answer && answer.units ? answer.units : "" }, zeroline: false },
          shapes,
          annotations,
          showlegend: false,
          hovermode: "closest",
        };
      }

      describe(answer) {
        const shown = this.plotted;
        const count = answer.count ?? shown;
        this.decimated = Boolean(answer.decimated);
        this.badge.textContent = this.decimated
          ? `decimated: ${shown} points for ${count} samples`
          : `${count} samples, full resolution`;
        this.badge.className = `pill ${this.decimated ? "warn" : "ok"}`;
        this.div.dataset.decimated = this.decimated ? "1" : "0";
        this.div.dataset.count = String(count);
        this.div.dataset.version = String(Number(this.div.dataset.version || 0) + 1);
      }

      async load() {
        if (this.abort) this.abort.abort();
        this.abort = new AbortController();
        const q = new URLSearchParams({ item: this.key, mode: state.mode, max_points: String(plotWidth(this.div)) });
        if (state.range) {
          q.set("start", String(state.range[0]));
          q.set("end", String(state.range[1]));
        }
        let answer;
        try {
          answer = await api(ctx.path(`/series?${q}`), this.abort.signal);
        } catch (error) {
          if (error.name === "AbortError") return;
          this.badge.textContent = "error";
          this.badge.className = "pill bad";
          if (window.Plotly) Plotly.purge(this.div);
          this.lastAnswer = null;
          this.div.replaceChildren(h("div", { class: "empty error-panel" }, error.message));
          this.div.dataset.error = error.message;
          showError(error);
          return;
        }
        this.apply(answer);
      }

      apply(answer) {
        this.mnemonic = answer.mnemonic || this.mnemonic;
        this.id = answer.item ?? this.id;
        this.title.textContent = `${answer.mnemonic || this.key}${answer.units ? ` [${answer.units}]` : ""} · ${answer.mode || state.mode}`;
        const rel = answer.relative_time || [];
        this.plotted = rel.length;
        this.lastRel = rel.length ? rel[rel.length - 1] : null;
        const trace = {
          type: "scatter",
          mode: rel.length > 400 ? "lines" : "lines+markers",
          x: axis.xs(rel),
          y: Array.from(answer.value || []),
          line: { color: COLORS[this.index % COLORS.length], width: 1.4 },
          marker: { size: 4 },
          name: answer.mnemonic || this.key,
          hovertemplate: `%{y}<br>%{x}<extra>${answer.mnemonic || this.key}</extra>`,
        };
        delete this.div.dataset.error;
        Plotly.react(this.div, [trace], this.layout(answer), PLOT_CONFIG);
        this.lastAnswer = answer;
        this.describe(answer);
        if (!this.bound) {
          this.bound = true;
          this.div.on("plotly_relayout", (event) => onRelayout(event, this));
        }
      }

      refreshShapes() {
        if (this.lastAnswer && this.div.data) {
          const { shapes, annotations } = shapesFor(this);
          Plotly.relayout(this.div, { shapes, annotations });
        }
      }

      // New packets on disk: a chart that follows the run takes the samples after its last
      // one; a zoomed chart keeps what the user is looking at.
      async extend() {
        if (state.range || !this.lastAnswer) return;
        if (this.busy) {
          this.pending = true;
          return;
        }
        this.busy = true;
        try {
          do {
            this.pending = false;
            const width = plotWidth(this.div);
            if (this.decimated || this.lastRel === null) {
              await this.load();
              continue;
            }
            const q = new URLSearchParams({ item: this.key, mode: state.mode, max_points: String(width), start: String(this.lastRel) });
            const answer = await api(ctx.path(`/series?${q}`));
            const rel = answer.relative_time || [];
            const values = answer.value || [];
            const first = rel.findIndex((t) => t > this.lastRel);
            if (first < 0) continue;
            if (answer.decimated || this.plotted + rel.length - first > 4 * width) {
              await this.load();
              continue;
            }
            const newRel = rel.slice(first);
            Plotly.extendTraces(this.div, { x: [axis.xs(newRel)], y: [values.slice(first)] }, [0]);
            this.plotted += newRel.length;
            this.lastRel = newRel[newRel.length - 1];
            this.describe({ decimated: false, count: this.plotted });
          } while (this.pending);
        } finally {
          this.busy = false;
        }
      }

      destroy() {
        if (this.abort) this.abort.abort();
        if (window.Plotly) Plotly.purge(this.div);
        this.panel.remove();
      }
    }

    // --- the timeline of markers and meta-markers, zoomed with the charts
    const drawTimeline = () => {
      if (!state.markers.length && !state.meta.length) {
        timelinePanel.hidden = true;
        return;
      }
      timelinePanel.hidden = false;
      const traces = [];
      const bar = (spans, lane, color, prefix) => {
        const ok = spans.filter((s) => Number.isFinite(s.end));
        if (!ok.length) return;
        traces.push({
          type: "bar",
          orientation: "h",
          y: ok.map(() => lane),
          base: ok.map((s) => axis.x(s.start)),
          x: ok.map((s) => (axis.utc ? (s.end - s.start) * 1000 : s.end - s.start)),
          text: ok.map((s) => `${prefix}${s.id} ${s.text}`),
          textposition: "inside",
          insidetextanchor: "start",
          hovertemplate: ok.map((s) => `${prefix}${s.id}: ${s.text}<br>${axis.text(s.start)} – ${axis.text(s.end)}<extra></extra>`),
          marker: { color, line: { color: "#fff", width: 1 } },
          showlegend: false,
        });
      };
      bar(state.markers, "markers", "#8aa2c0", "M");
      state.meta.forEach((m) => bar([m], `meta ${m.id}`, "#8e5bd0", ""));
      const lanes = 1 + state.meta.length;
      // The height follows the lanes: a growing run's new meta-markers get a lane each.
      const height = Math.max(90, 40 + lanes * 22);
      timeline.style.height = `${height}px`;
      Plotly.react(
        timeline,
        traces,
        {
          height,
          margin: { l: 90, r: 16, t: 4, b: 28 },
          barmode: "overlay",
          uniformtext: { mode: "hide", minsize: 9 },
          dragmode: "zoom",
          xaxis: { ...axis.axis(), title: null, ...(state.range ? { range: state.range.map((r) => axis.x(r)), autorange: false } : { autorange: true }) },
          yaxis: { autorange: "reversed", type: "category", fixedrange: true },
          showlegend: false,
        },
        { ...PLOT_CONFIG, displayModeBar: false },
      );
      if (!timeline.dataset.bound) {
        timeline.dataset.bound = "1";
        timeline.on("plotly_relayout", (event) => onRelayout(event, null));
      }
    };

    // --- zoom and pan: every chart follows; each re-fetches the range at its own width
    const refetch = debounce(() => {
      for (const chart of state.charts.values()) chart.load();
    }, 120);

    function onRelayout(event, source) {
      if (syncing) return;
      let range = null;
      let auto = false;
      if (event["xaxis.autorange"] === true) auto = true;
      else if ("xaxis.range[0]" in event && "xaxis.range[1]" in event) range = [event["xaxis.range[0]"], event["xaxis.range[1]"]];
      else if (Array.isArray(event["xaxis.range"])) range = event["xaxis.range"];
      if (!auto && !range) return;
      state.range = auto ? null : range.map((x) => axis.rel(x)).sort((a, b) => a - b);
      if (state.range && !(state.range[1] > state.range[0])) state.range = null;
      syncing = true;
      const others = [...state.charts.values()].filter((c) => c !== source && c.div.data).map((c) => c.div);
      if (source !== null && timeline.data) others.push(timeline);
      const update = state.range ? { "xaxis.range": state.range.map((r) => axis.x(r)), "xaxis.autorange": false } : { "xaxis.autorange": true };
      Promise.all(others.map((div) => Plotly.relayout(div, update))).finally(() => {
        syncing = false;
      });
      syncHash();
      refetch();
    }

    resetButton.addEventListener("click", () => onRelayout({ "xaxis.autorange": true }, null));
    modeSelect.addEventListener("change", () => {
      state.mode = modeSelect.value;
      syncHash();
      drawList();
      for (const chart of state.charts.values()) chart.load();
    });

    function toggleItem(key) {
      const i = state.items.findIndex((s) => s.toUpperCase() === key.toUpperCase());
      if (i >= 0) state.items.splice(i, 1);
      else state.items.push(key);
      syncCharts();
      syncHash();
      drawList();
    }

    let nextIndex = 0;
    function syncCharts() {
      const wanted = new Set(state.items);
      for (const [key, chart] of state.charts) {
        if (!wanted.has(key)) {
          chart.destroy();
          state.charts.delete(key);
        }
      }
      for (const key of state.items) {
        if (!state.charts.has(key)) {
          const chart = new TrendChart(key, nextIndex++);
          state.charts.set(key, chart);
          charts.append(chart.panel);
          chart.load();
        }
      }
    }

    const loadShading = async () => {
      const [markers, meta, limits, violations] = await Promise.all(
        ["/markers", "/meta-markers", "/limits", "/limit-violations"].map((p) =>
          api(ctx.path(p)).catch((error) => {
            showError(error);
            return { rows: [] };
          }),
        ),
      );
      state.markers = markerSpans(markers.rows || [], lastTime());
      state.meta = markerSpans(meta.rows || [], lastTime());
      state.limits = limits.rows || [];
      state.violations = violations.rows || [];
    };

    syncHash();
    await Promise.all([loadShading(), loadItems()]);
    drawTimeline();
    syncCharts();

    cleanup.push(
      ctx.on("packets", () => {
        for (const chart of state.charts.values()) chart.extend().catch(showError);
      }),
      ctx.on("markers", async () => {
        await loadShading();
        drawTimeline();
        for (const chart of state.charts.values()) chart.refreshShapes();
      }),
      () => {
        if (itemsAbort) itemsAbort.abort();
        for (const chart of state.charts.values()) chart.destroy();
        if (window.Plotly) Plotly.purge(timeline);
      },
    );
  }

  // ------------------------------------------------------------------ message log and events

  async function renderLog(ctx, el, query, cleanup) {
    const axis = ctx.axis;
    const filter = h("input", { type: "search", id: "log-filter", placeholder: "text or /regular expression/", size: 40 });
    filter.value = query.get("filter") || "";
    const count = h("span", { class: "muted", id: "log-count" });
    const logHolder = h("div", {}, h("div", { class: "empty" }, "Loading the message log…"));
    const markersHolder = h("div", {});
    const metaHolder = h("div", {});
    const violationsHolder = h("div", {});
    el.replaceChildren(
      h(
        "div",
        { class: "panel" },
        h("h2", {}, "Message log (newest first)"),
        h("div", { class: "toolbar" }, h("label", {}, "Filter", filter), count),
        logHolder,
      ),
      h(
        "div",
        { class: "grid" },
        h("div", { class: "panel" }, h("h2", {}, "Markers"), markersHolder),
        h("div", { class: "panel" }, h("h2", {}, "Meta-markers"), metaHolder),
      ),
      h("div", { class: "panel" }, h("h2", {}, "Limit violations"), violationsHolder),
    );

    let messages = { rows: [], columns: [] };
    let seen = 0;
    const drawLog = () => {
      const text = filter.value.trim();
      let test = () => true;
      const rx = /^\/(.+)\/([a-z]*)$/.exec(text);
      if (rx) {
        try {
          const re = new RegExp(rx[1], rx[2].includes("i") ? rx[2] : `${rx[2]}i`);
          test = (row) => re.test(String(row.msg ?? row.text ?? JSON.stringify(row)));
        } catch (error) {
          count.textContent = `bad expression: ${error.message}`;
          return;
        }
      } else if (text) {
        const lower = text.toLowerCase();
        test = (row) => String(row.msg ?? row.text ?? JSON.stringify(row)).toLowerCase().includes(lower);
      }
      const q = new URLSearchParams();
      if (text) q.set("filter", text);
      replaceHash(runHash(ctx.id, "log", q));
      const fresh = seen > 0 ? new Set(messages.rows.slice(seen)) : new Set();
      const shown = messages.rows.filter(test).reverse();
      const all = total !== null && total > messages.rows.length ? ` (the newest of ${total})` : "";
      count.textContent = `${shown.length} of ${messages.rows.length} lines${all}`;
      const columns = columnsOf(messages).filter((c) => c !== "time");
      if (!messages.rows.length) {
        logHolder.replaceChildren(h("div", { class: "empty" }, "The message log is empty."));
        return;
      }
      const table = rowsTable(
        columns,
        shown,
        axis,
        {
          id: "log",
          decorate: (row, tr) => {
            if (fresh.has(row)) tr.classList.add("new");
          },
        },
      );
      logHolder.replaceChildren(table);
    };
    filter.addEventListener("input", debounce(drawLog, 150));

    // The server answers a table a page at a time: the log keeps its newest LOG_ROWS lines,
    // and a growing run's new lines are asked for from the last one the page has.
    let total = null;
    const loadLog = async () => {
      const previous = messages.rows.length;
      if (total === null) {
        let answer = await api(ctx.path("/messages"));
        const got = (answer.rows || []).length;
        if (Number.isFinite(answer.total) && answer.total > got) {
          answer = await api(ctx.path(`/messages?offset=${answer.total - got}`));
        }
        messages = answer;
        messages.rows = messages.rows || [];
        total = Number.isFinite(answer.total) ? answer.total : messages.rows.length;
        seen = 0;
      } else {
        const answer = await api(ctx.path(`/messages?offset=${total}`));
        const rows = answer.rows || [];
        if (!rows.length) return; // the lines marked new stay marked until newer ones come
        messages.rows = messages.rows.concat(rows).slice(-LOG_ROWS);
        total = Number.isFinite(answer.total) ? answer.total : total + rows.length;
        seen = Math.min(previous, messages.rows.length - rows.length);
      }
      drawLog();
    };
    const loadTable = async (path, holder, empty) => {
      try {
        const answer = await api(ctx.path(path));
        const rows = answer.rows || [];
        holder.replaceChildren(
          ...[
            rows.length ? rowsTable(columnsOf(answer).filter((c) => c !== "time"), rows, axis) : h("div", { class: "empty" }, empty),
            pageNote(answer),
          ].filter(Boolean),
        );
      } catch (error) {
        failInto(holder, error);
      }
    };
    const loadEvents = () =>
      Promise.all([
        loadTable("/markers", markersHolder, "No markers."),
        loadTable("/meta-markers", metaHolder, "No meta-markers."),
        loadTable("/limit-violations", violationsHolder, "No value beyond its limits."),
      ]);
    let logChain = loadLog().catch((error) => failInto(logHolder, error));
    await Promise.all([logChain, loadEvents()]);
    const violationsLater = debounce(() => loadTable("/limit-violations", violationsHolder, "No value beyond its limits."), 1000);
    cleanup.push(
      // One request at a time: each asks from the last line the one before it got.
      ctx.on("messages", () => {
        logChain = logChain.then(loadLog).catch(showError);
        return logChain;
      }),
      ctx.on("markers", () => loadEvents()),
      ctx.on("packets", violationsLater),
    );
  }

  // ------------------------------------------------------------------ TARN spectra

  async function renderSpectra(ctx, el, query, cleanup) {
    const axis = ctx.axis;
    const ticDiv = h("div", { class: "tic", id: "tic" });
    const spectrumDiv = h("div", { class: "spectrum", id: "spectrum" });
    const spectrumTitle = h("h2", { id: "spectrum-title" }, "Spectrum");
    const spectrumNote = h("div", { class: "empty", id: "spectrum-note" }, "Click a point of the TIC (or a row of the scan list) to see that scan's spectrum.");
    const which = h(
      "select",
      { id: "tic-which" },
      h("option", { value: "tic" }, "TIC"),
      h("option", { value: "corrected_tic" }, "corrected TIC"),
    );
    which.value = query.get("tic") === "corrected" ? "corrected_tic" : "tic";
    const logY = h("select", { id: "spectrum-scale" }, h("option", { value: "linear" }, "linear"), h("option", { value: "log" }, "log"));
    const scansHolder = h("div", {});
    const ticNote = h("div", { class: "muted", id: "tic-note" });
    el.replaceChildren(
      h(
        "div",
        { class: "panel" },
        h("div", { class: "toolbar" }, h("h2", { style: "flex:1;margin:0" }, "Total ion count by scan"), h("label", {}, "Show", which)),
        ticDiv,
        ticNote,
      ),
      h(
        "div",
        { class: "panel" },
        h("div", { class: "toolbar" }, h("div", { style: "flex:1" }, spectrumTitle), h("label", {}, "Counts axis", logY)),
        spectrumNote,
        spectrumDiv,
      ),
      h("div", { class: "panel" }, h("h2", {}, "Scans"), scansHolder),
    );

    let selected = query.has("scan") ? Number(query.get("scan")) : null;
    let tic = { traces: [] };
    let scanRows = [];

    const syncHash = () => {
      const q = new URLSearchParams();
      if (selected !== null && Number.isFinite(selected)) q.set("scan", String(selected));
      if (which.value === "corrected_tic") q.set("tic", "corrected");
      replaceHash(runHash(ctx.id, "spectra", q));
    };

    const drawTic = () => {
      const traces = (tic.traces || []).map((t) => ({
        type: "scatter",
        mode: "lines+markers",
        name: `${t.kind} ${t.mode}`,
        x: axis.xs(t.relative_time || []),
        y: Array.from(t[which.value] || t.tic || []),
        customdata: Array.from(t.scan || []),
        // Big enough to click when there are few scans, small enough not to blot out many.
        marker: { size: (t.scan || []).length > 200 ? 4 : 8 },
        line: { width: 1 },
        hovertemplate: "scan %{customdata}<br>%{y}<br>%{x}<extra>%{fullData.name}</extra>",
      }));
      const shapes = [];
      if (selected !== null) {
        for (const t of tic.traces || []) {
          const k = (t.scan || []).indexOf(selected);
          if (k >= 0) {
            const x = axis.x(t.relative_time[k]);
            shapes.push({ type: "line", xref: "x", yref: "paper", x0: x, x1: x, y0: 0, y1: 1, line: { color: "#c92a2a", width: 1, dash: "dot" } });
          }
        }
      }
      Plotly.react(
        ticDiv,
        traces,
        {
          margin: { l: 70, r: 16, t: 8, b: 42 },
          xaxis: axis.axis(),
          yaxis: { title: { text: which.value === "tic" ? "TIC" : "corrected TIC" }, rangemode: "tozero" },
          hovermode: "closest",
          legend: { orientation: "h", y: 1.12 },
          shapes,
          uirevision: "keep",
        },
        PLOT_CONFIG,
      );
      ticDiv.dataset.version = String(Number(ticDiv.dataset.version || 0) + 1);
    };

    let scanAbort = null;
    const showScan = async (index) => {
      if (!Number.isFinite(index)) return;
      selected = index;
      syncHash();
      drawTic();
      highlightRow();
      if (scanAbort) scanAbort.abort();
      scanAbort = new AbortController();
      spectrumTitle.textContent = `Scan ${index} …`;
      let scan;
      try {
        scan = await api(ctx.path(`/scans/${encodeURIComponent(index)}`), scanAbort.signal);
      } catch (error) {
        if (error.name === "AbortError") return;
        spectrumTitle.textContent = `Scan ${index}`;
        spectrumNote.hidden = false;
        spectrumNote.textContent = error.message;
        showError(error);
        return;
      }
      spectrumNote.hidden = true;
      spectrumTitle.textContent = `Scan ${scan.index} · ${scan.kind || ""} ${scan.mode || ""} · ${axis.text(scan.relative_time)}`;
      const traces = [
        {
          type: "scatter",
          mode: "lines",
          name: "counts",
          x: Array.from(scan.mz || []),
          y: Array.from(scan.counts || []),
          line: { color: "#1f5fa8", width: 1 },
          hovertemplate: "m/z %{x:.3f}<br>%{y} counts<extra></extra>",
        },
      ];
      if (Array.isArray(scan.culled_counts) && Array.isArray(scan.culled_mz)) {
        traces.push({
          type: "scatter",
          name: "culled",
          mode: "markers",
          x: scan.culled_mz,
          y: scan.culled_counts,
          marker: { color: "#c2410c", size: 5, symbol: "circle-open" },
          hovertemplate: "m/z %{x:.3f}<br>%{y} culled<extra></extra>",
        });
      }
      Plotly.react(
        spectrumDiv,
        traces,
        {
          margin: { l: 70, r: 16, t: 8, b: 42 },
          xaxis: { title: { text: "m/z" } },
          yaxis: { title: { text: "counts" }, type: logY.value },
          legend: { orientation: "h", y: 1.12 },
          hovermode: "closest",
        },
        PLOT_CONFIG,
      );
      spectrumDiv.dataset.scan = String(scan.index);
      spectrumDiv.dataset.version = String(Number(spectrumDiv.dataset.version || 0) + 1);
    };
    logY.addEventListener("change", () => {
      if (spectrumDiv.data) Plotly.relayout(spectrumDiv, { "yaxis.type": logY.value });
    });
    which.addEventListener("change", () => {
      syncHash();
      drawTic();
    });

    const highlightRow = () => {
      for (const tr of scansHolder.querySelectorAll("tbody tr")) {
        tr.classList.toggle("selected", Number(tr.dataset.scan) === selected);
      }
    };

    const loadScans = async () => {
      const answer = await api(ctx.path("/scans"));
      scanRows = answer.rows || [];
      const columns = columnsOf(answer);
      const indexColumn = columns.includes("scan") ? "scan" : columns.includes("index") ? "index" : null;
      scansHolder.replaceChildren(
        scanRows.length
          ? rowsTable(columns, scanRows, axis, {
              id: "scans",
              hide: ["unix_time", "marker_time"],
              onclick: (row, i) => showScan(Number(indexColumn ? row[indexColumn] : (answer.offset || 0) + i)),
              decorate: (row, tr, i) => {
                tr.dataset.scan = String(indexColumn ? row[indexColumn] : (answer.offset || 0) + i);
              },
            })
          : h("div", { class: "empty" }, "This run has no scans yet."),
        pageNote(answer),
      );
      highlightRow();
    };
    // Like a trend, a long chromatogram comes thinned to the chart's width (each pixel
    // column's first, lowest, highest and last scan) and a zoom asks for its range again.
    let ticRange = null;
    const loadTic = async () => {
      const size = ticDiv._fullLayout && ticDiv._fullLayout._size;
      const width = Math.max(50, Math.min(MAX_POINTS, Math.round(size && size.w ? size.w : ticDiv.clientWidth - 90)));
      const q = new URLSearchParams({ max_points: String(width) });
      if (ticRange) {
        q.set("start", String(ticRange[0]));
        q.set("end", String(ticRange[1]));
      }
      tic = await api(ctx.path(`/tic?${q}`));
      const thinned = (tic.traces || []).filter((t) => t.decimated);
      ticNote.textContent = thinned.length
        ? `thinned to the chart's width: ${thinned.map((t) => `${t.kind} ${t.mode} ${t.scan.length} of ${t.count} scans`).join(", ")}`
        : "";
      drawTic();
    };

    await Promise.all([loadTic(), loadScans().catch((error) => failInto(scansHolder, error))]);
    ticDiv.on("plotly_relayout", (event) => {
      let range = null;
      if ("xaxis.range[0]" in event && "xaxis.range[1]" in event) range = [event["xaxis.range[0]"], event["xaxis.range[1]"]];
      else if (Array.isArray(event["xaxis.range"])) range = event["xaxis.range"];
      else if (event["xaxis.autorange"] !== true) return;
      ticRange = range ? range.map((x) => axis.rel(x)).sort((a, b) => a - b) : null;
      loadTic().catch(showError);
    });
    ticDiv.on("plotly_click", (event) => {
      const point = event && event.points && event.points[0];
      if (point && point.customdata !== undefined) showScan(Number(point.customdata));
    });
    if (selected !== null) await showScan(selected);

    // While the run is recorded, scans arrive: the TIC and the list follow, at most once a second.
    let timer = null;
    cleanup.push(
      ctx.on("packets", () => {
        if (timer) return;
        timer = setTimeout(async () => {
          timer = null;
          try {
            await Promise.all([loadTic(), loadScans()]);
          } catch (error) {
            showError(error);
          }
        }, 500);
      }),
      () => {
        clearTimeout(timer);
        if (scanAbort) scanAbort.abort();
        if (window.Plotly) {
          Plotly.purge(ticDiv);
          Plotly.purge(spectrumDiv);
        }
      },
    );
  }

  // ------------------------------------------------------------------ start

  function start() {
    document.getElementById("error-close").addEventListener("click", clearError);
    const select = timeSelect();
    select.value = timeMode;
    select.addEventListener("change", () => {
      timeMode = select.value;
      localStorage.setItem("k814util.time", timeMode);
      route().catch(showError);
    });
    window.addEventListener("hashchange", () => route().catch(showError));
    window.addEventListener("pagehide", () => current && current.run && current.run.suspend());
    window.addEventListener("pageshow", (event) => {
      if (event.persisted && current && current.run) current.run.resume();
    });
    window.addEventListener("unhandledrejection", (event) => showError(event.reason));
    window.addEventListener("error", (event) => showError(event.error || event.message));
    if (!window.Plotly) {
      showError(new Error("The chart library (static/vendor/plotly.min.js) did not load: charts cannot be drawn."));
    }
    route().catch(showError);
  }

  // Exposed for the browser tests and for a curious user's console; the page does not use it.
  window.k814 = { api, eventsUrl, parseUtc, TimeAxis };

  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
  else start();
})();
