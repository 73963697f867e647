// The station page: live readings polled from /api/live, charts of the
// archive from /api/series, highs and lows and rain totals from
// /api/summary. Times are the console's clock without a zone, so they are
// handled as UTC throughout and shown as they are.
"use strict";

// Texts the Windows program has no key for, in its five languages.
const OWN_TEXTS = {
  english: { time: "Time", charts: "Charts", day: "Day", week: "Week", month: "Month", year: "Year",
    from: "From", to: "To", show: "Show", highs: "Highs and lows", today: "Today",
    thisMonth: "This month", thisYear: "This year", allTime: "All time", high: "High", low: "Low",
    rainTotals: "Rain totals", download: "Download this period", total: "Total",
    zoom: "drag across a chart to zoom in, double-click to zoom out", none: "no records",
    perMonth: "Per month", perYear: "Per year", reports: "Climate reports", uploads: "Uploads",
    downloadReport: "Download this report" },
  germany: { time: "Zeit", charts: "Diagramme", day: "Tag", week: "Woche", month: "Monat", year: "Jahr",
    from: "Von", to: "Bis", show: "Anzeigen", highs: "Höchst- und Tiefstwerte", today: "Heute",
    thisMonth: "Dieser Monat", thisYear: "Dieses Jahr", allTime: "Gesamt", high: "Höchstwert",
    low: "Tiefstwert", rainTotals: "Regenmengen", download: "Diesen Zeitraum herunterladen",
    total: "Summe", zoom: "zum Vergrößern über ein Diagramm ziehen, Doppelklick zum Verkleinern",
    none: "keine Daten", perMonth: "Je Monat", perYear: "Je Jahr", reports: "Klimaberichte", uploads: "Uploads",
    downloadReport: "Diesen Bericht herunterladen" },
  france: { time: "Heure", charts: "Graphiques", day: "Jour", week: "Semaine", month: "Mois", year: "Année",
    from: "Du", to: "Au", show: "Afficher", highs: "Maximums et minimums", today: "Aujourd'hui",
    thisMonth: "Ce mois-ci", thisYear: "Cette année", allTime: "Depuis le début", high: "Max",
    low: "Min", rainTotals: "Cumuls de pluie", download: "Télécharger cette période",
    total: "Total", zoom: "glisser sur un graphique pour zoomer, double-clic pour revenir",
    none: "aucune donnée", perMonth: "Par mois", perYear: "Par année", reports: "Rapports climatologiques", uploads: "Envois",
    downloadReport: "Télécharger ce rapport" },
  italy: { time: "Ora", charts: "Grafici", day: "Giorno", week: "Settimana", month: "Mese", year: "Anno",
    from: "Dal", to: "Al", show: "Mostra", highs: "Massimi e minimi", today: "Oggi",
    thisMonth: "Questo mese", thisYear: "Quest'anno", allTime: "Da sempre", high: "Massimo",
    low: "Minimo", rainTotals: "Pioggia totale", download: "Scarica questo periodo",
    total: "Totale", zoom: "trascinare su un grafico per ingrandire, doppio clic per tornare",
    none: "nessun dato", perMonth: "Per mese", perYear: "Per anno", reports: "Rapporti climatologici", uploads: "Invii",
    downloadReport: "Scarica questo rapporto" },
  spanish: { time: "Hora", charts: "Gráficos", day: "Día", week: "Semana", month: "Mes", year: "Año",
    from: "Desde", to: "Hasta", show: "Mostrar", highs: "Máximas y mínimas", today: "Hoy",
    thisMonth: "Este mes", thisYear: "Este año", allTime: "Histórico", high: "Máxima",
    low: "Mínima", rainTotals: "Lluvia acumulada", download: "Descargar este periodo",
    total: "Total", zoom: "arrastre sobre un gráfico para ampliar, doble clic para volver",
    none: "sin datos", perMonth: "Por mes", perYear: "Por año", reports: "Informes climatológicos", uploads: "Envíos",
    downloadReport: "Descargar este informe" },
};
const LANGUAGES = { en: "english", de: "germany", fr: "france", it: "italy", es: "spanish" };

const page = { section: "english", keys: {}, own: OWN_TEXTS.english, live: null, channel: 1,
  anchor: null, period: "day", range: null, charts: [] };

// ---- texts ---------------------------------------------------------------

function chooseLanguage() {
  const asked = new URLSearchParams(location.search).get("lang");
  const wanted = asked ? [asked] : (navigator.languages || [navigator.language || "en"]);
  for (const tag of wanted) {
    const section = LANGUAGES[String(tag).slice(0, 2).toLowerCase()];
    if (section) return section;
  }
  return "english";
}

function key(k) { return page.keys[k] || ""; }
function own(k) { return page.own[k] || OWN_TEXTS.english[k]; }

async function loadTexts() {
  page.section = chooseLanguage();
  page.own = OWN_TEXTS[page.section];
  document.documentElement.lang = Object.keys(LANGUAGES).find(c => LANGUAGES[c] === page.section);
  try {
    const all = await (await fetch("texts.json")).json();
    page.keys = all[page.section] || all.english || {};
  } catch (e) { page.keys = {}; }
  for (const el of document.querySelectorAll("[data-key]")) el.textContent = key(el.dataset.key);
  for (const el of document.querySelectorAll("[data-text]")) el.textContent = own(el.dataset.text);
}

// ---- times: "YYYY-MM-DDTHH:MM" of the console's clock ----------------------

function seconds(iso) { return Date.parse(iso + ":00Z") / 1000; }
function isoOf(s) { return new Date(s * 1000).toISOString().slice(0, 16); }
function dateOf(s) { return isoOf(s).slice(0, 10); }
function shownTime(iso, withDate) { return withDate ? iso.replace("T", " ") : iso.slice(11); }

// ---- live readings ---------------------------------------------------------

// Decimals as the dashboard shows them: JSON drops a number's trailing
// zeros, so 1010.0 hPa would read 1010.
function fixed(v, unit) {
  if (typeof v !== "number") return v;
  const places = { "%": 0, "": 0, "°": 0, "inHg": 2, "in": 2, "in/h": 2 }[unit];
  return v.toFixed(places === undefined ? 1 : places);
}

function valueHtml(v, unit) {
  if (v === null || v === undefined) return "--";
  const text = String(fixed(v, unit)).replace(/[&<>]/g, "");
  return unit ? `${text}<small>${unit}</small>` : text;
}

function showLive() {
  const live = page.live;
  const r = live && live.readings ? live.readings : {};
  const u = r.units || {};
  const set = (id, v, unit) => { document.getElementById(id).innerHTML = valueHtml(v, unit); };
  set("indoor_temperature", r.indoor_temperature, u.temperature);
  set("indoor_humidity", r.indoor_humidity, "%");
  set("outdoor_temperature", r.outdoor_temperature, u.temperature);
  set("outdoor_humidity", r.outdoor_humidity, "%");
  set("wind_speed", r.wind_speed, u.wind_speed);
  set("wind_gust", r.wind_gust, u.wind_speed);
  set("wind_direction", r.wind_direction, u.wind_direction === "compass" || r.wind_direction == null ? "" : "°");
  set("ch_temperature", r[`ch${page.channel}_temperature`], u.temperature);
  set("ch_humidity", r[`ch${page.channel}_humidity`], "%");
  set("daily_rain", r.daily_rain, u.rain);
  set("rain_rate", r.rain_rate, u.rain_rate);
  const relative = "relative_pressure" in r || !("absolute_pressure" in r);
  document.getElementById("pressure-caption").textContent = key(relative ? "l18" : "l19");
  set("pressure", relative ? r.relative_pressure : r.absolute_pressure, u.pressure);
  set("uv_index", r.uv_index, "");
  set("dew_point", r.dew_point, u.temperature);
  set("heat_index", r.heat_index, u.temperature);
  document.getElementById("ch-title").textContent = `CH ${page.channel}`;
  const stale = !live || live.stale;
  document.body.classList.toggle("stale", stale);
  const connection = document.getElementById("connection");
  connection.textContent = key(stale ? "l56" : "l55");
  connection.className = stale ? "gone" : "here";
  document.getElementById("read-at").textContent = live && live.read_at ? shownTime(live.read_at, true) : "--";
}

async function pollLive() {
  try {
    page.live = await (await fetch("api/live", { cache: "no-store" })).json();
  } catch (e) {
    // The server itself is gone: what is shown is no longer live.
    if (page.live) page.live.stale = true;
  }
  showLive();
}

// ---- upload services -------------------------------------------------------

// Each service the companion posts to: its last success, and its last
// failure with the reason while it is failing.
async function pollUploads() {
  let services;
  try {
    services = await (await fetch("api/uploads", { cache: "no-store" })).json();
  } catch (e) {
    return;
  }
  const table = document.getElementById("upload-table");
  table.replaceChildren();
  for (const [name, s] of Object.entries(services)) {
    const row = table.insertRow();
    row.className = s.problem === "ON" ? "problem" : "ok";
    row.insertCell().textContent = name;
    row.insertCell().textContent = s.last_success ? "\u2713 " + shownTime(s.last_success, true) : "";
    row.insertCell().textContent = s.problem === "ON" && s.last_failure
      ? "\u2717 " + shownTime(s.last_failure, true) + " " + s.reason : "";
  }
  document.getElementById("uploads").hidden = table.rows.length === 0;
}

// ---- charts ----------------------------------------------------------------

const COLOURS = { out: "#d9480f", in: "#7048e8", dew: "#1c7ed6", band: "rgba(217,72,15,0.15)",
  gust: "#e67700", dir: "#495057", rain: "#1971c2", pressure: "#2b8a3e" };

function chartWidth() { return Math.max(260, document.getElementById("chart-area").clientWidth - 10); }
function chartHeight() { return window.innerWidth < 500 ? 170 : 220; }

// The charts a series answer fills: title, the lines (field, statistic,
// label, colour) and, where the spread matters, a band between minimum and
// maximum.
function chartSpecs(d) {
  const u = d.units;
  return [
    { id: "temperature", title: `${key("l8")} (${u.temperature})`, lines: [
      ["outdoor_temperature", "max", `${key("l7")} max`, COLOURS.out, 1],
      ["outdoor_temperature", "min", `${key("l7")} min`, COLOURS.out, 1],
      ["outdoor_temperature", "mean", key("l7"), COLOURS.out],
      ["indoor_temperature", "mean", key("l6"), COLOURS.in],
      ["dew_point", "mean", key("l21"), COLOURS.dew]], band: [1, 2] },
    { id: "humidity", title: `${key("l9")} (%)`, lines: [
      ["outdoor_humidity", "mean", key("l7"), COLOURS.out],
      ["indoor_humidity", "mean", key("l6"), COLOURS.in]] },
    { id: "pressure", title: `${key(u.pressure_kind === "absolute" ? "l19" : "l18")} (${u.pressure})`, lines: [
      ["pressure", "max", "max", COLOURS.pressure, 1],
      ["pressure", "min", "min", COLOURS.pressure, 1],
      ["pressure", "mean", key("l43"), COLOURS.pressure]], band: [1, 2] },
    { id: "wind", title: `${key("l10")} (${u.wind_speed})`, lines: [
      ["wind_speed", "mean", key("l11"), COLOURS.in],
      ["wind_gust", "max", key("l13"), COLOURS.gust],
      ["wind_direction", "mean", `${key("l12")} (°)`, COLOURS.dir, 0, "dir"]] },
    { id: "rain", title: `${key("l14")} (${u.rain})`, lines: [
      ["rain", "sum", key("l14"), COLOURS.rain, 0, "bars"],
      ["rain_rate", "max", `${key("l16")} (${u.rain_rate})`, COLOURS.dew]] },
  ];
}

function unitOf(field, units) {
  if (/temperature|dew/.test(field)) return units.temperature;
  if (/humidity/.test(field)) return "%";
  if (field === "wind_direction") return "";
  if (/wind/.test(field)) return units.wind_speed;
  if (field === "rain_rate") return units.rain_rate;
  return field === "rain" ? units.rain : units.pressure;
}

function makeChart(plan, d, x, area) {
  const box = document.createElement("div");
  box.className = "chart";
  box.id = `chart-${plan.id}`;
  const h = document.createElement("h3");
  h.textContent = plan.title;
  box.appendChild(h);
  area.appendChild(box);
  const data = [x];
  const series = [{ label: own("time"), value: (u, v) => v == null ? "--" : shownTime(isoOf(v), true) }];
  let direction = false;
  for (const [field, stat, label, colour, faint, kind] of plan.lines) {
    const values = d.series[field] && d.series[field][stat];
    data.push(values || x.map(() => null));
    const s = { label, stroke: colour, width: faint ? 0.5 : 1.5, spanGaps: false,
      points: { show: false }, value: (u, v) => v == null ? "--" : fixed(v, unitOf(field, d.units)) };
    if (faint) s.dash = [3, 3];
    if (kind === "dir") {
      direction = true;
      s.scale = "dir";
      s.paths = () => null;
      s.points = { show: true, size: 3, stroke: colour, fill: colour };
    }
    if (kind === "bars") {
      s.paths = uPlot.paths.bars({ size: [0.8, 40] });
      s.fill = "rgba(25,113,194,0.5)";
    }
    series.push(s);
  }
  // 24-hour clock times, and dates once ticks are a day or more apart;
  // ticks far enough apart that a month's label ("2026-02") never runs
  // into the next on a phone.
  const axes = [{ space: 70, values: (u, ticks, ax, space, step) => ticks.map(t => {
    const iso = isoOf(t);
    if (step >= 28 * 86400) return iso.slice(0, 7);
    if (step >= 86400 || iso.endsWith("00:00")) return iso.slice(5, 10);
    return iso.slice(11, 16);
  }) }, { size: 50 }];
  const scales = { x: { time: true } };
  if (direction) {
    scales.dir = { range: [0, 360] };
    axes.push({ scale: "dir", side: 1, size: 34, grid: { show: false },
      values: (u, ticks) => ticks.map(t => ["N", "E", "S", "W", "N"][Math.round(t / 90)] || ""),
      splits: () => [0, 90, 180, 270, 360] });
  }
  const opts = {
    width: chartWidth(), height: chartHeight(), series, axes, scales,
    tzDate: ts => uPlot.tzDate(new Date(ts * 1000), "Etc/UTC"),
    cursor: { sync: { key: "nimbrel" }, drag: { x: true, y: false, setScale: false } },
    bands: plan.band ? [{ series: plan.band, fill: COLOURS.band }] : [],
    hooks: { setSelect: [u => {
      if (u.select.width < 5) return;
      const from = u.posToVal(u.select.left, "x"), to = u.posToVal(u.select.left + u.select.width, "x");
      u.setSelect({ left: 0, width: 0 }, false);
      loadRange(Math.floor(from / 60) * 60, Math.ceil(to / 60) * 60, true);
    }] },
  };
  // How many buckets the first line has values in: gaps are not points.
  box.dataset.points = data[1].filter(v => v !== null).length;
  const chart = new uPlot(opts, data, box);
  chart.over.addEventListener("dblclick", () => showPeriod(page.period));
  return chart;
}

async function loadRange(from, to, zoomed) {
  page.range = [from, to];
  const query = `from=${isoOf(from)}&to=${isoOf(to)}`;
  let d;
  try {
    const res = await fetch(`api/series?${query}`, { cache: "no-store" });
    if (!res.ok) throw new Error(await res.text());
    d = await res.json();
  } catch (e) {
    document.getElementById("range-shown").textContent = String(e.message || e);
    return;
  }
  const area = document.getElementById("chart-area");
  for (const c of page.charts) c.destroy();
  area.textContent = "";
  const x = d.time.map(seconds);
  page.charts = chartSpecs(d).map(plan => makeChart(plan, d, x, area));
  document.getElementById("range-shown").textContent =
    `${shownTime(d.from, true)} – ${shownTime(d.to, true)}`;
  const exportLink = document.getElementById("export");
  exportLink.href = `api/export?from=${dateOf(from)}&to=${dateOf(to)}`;
  if (!zoomed) {
    document.getElementById("from").value = dateOf(from);
    document.getElementById("to").value = dateOf(to);
  }
}

const PERIOD_DAYS = { day: 1, week: 7, month: 30, year: 365 };

function showPeriod(period) {
  page.period = period;
  for (const b of document.querySelectorAll("#period [data-period]"))
    b.classList.toggle("on", b.dataset.period === period);
  if (period === "range") {
    const from = seconds(document.getElementById("from").value + "T00:00");
    const to = seconds(document.getElementById("to").value + "T23:59");
    if (!(from <= to)) return;
    page.customRange = [from, to];
    return loadRange(from, to);
  }
  const to = page.anchor;
  return loadRange(to - PERIOD_DAYS[period] * 86400 + 60, to);
}

// ---- highs and lows, rain totals ------------------------------------------

const EXTREME_ROWS = [
  ["outdoor_temperature", "l7", "l8", "temperature"], ["outdoor_humidity", "l7", "l9", "humidity"],
  ["dew_point", "", "l21", "temperature"], ["indoor_temperature", "l6", "l8", "temperature"],
  ["indoor_humidity", "l6", "l9", "humidity"], ["pressure", "", "l43", "pressure"],
  ["wind_speed", "l10", "l11", "wind_speed"], ["wind_gust", "l10", "l13", "wind_speed"],
  ["rain_rate", "", "l16", "rain_rate"]];

function cell(value, unit, at, withDate) {
  const td = document.createElement("td");
  td.textContent = value === null || value === undefined ? "--" : `${fixed(value, unit)} ${unit}`;
  if (at) {
    const s = document.createElement("span");
    s.className = "at";
    s.textContent = shownTime(at, withDate);
    td.appendChild(s);
  }
  return td;
}

function extremeTable(title, s, withDate) {
  const t = document.createElement("table");
  t.className = `extremes-${s.period}`;
  t.createCaption().textContent = `${title} (${s.label === "all" ? "" : s.label})`.replace(" ()", "");
  const head = t.insertRow();
  for (const text of ["", own("high"), own("low")]) {
    const th = document.createElement("th");
    th.textContent = text;
    head.appendChild(th);
  }
  for (const [field, group, label, unitKind] of EXTREME_ROWS) {
    const e = s.highs_lows[field];
    const row = t.insertRow();
    const th = document.createElement("th");
    th.textContent = group ? `${key(group)} · ${key(label)}` : key(label);
    row.appendChild(th);
    const unit = unitKind === "humidity" ? "%" : s.units[unitKind];
    row.appendChild(cell(e && e.max, unit, e && e.max_time, withDate));
    row.appendChild(cell(e && e.min, unit, e && e.min_time, withDate));
  }
  return t;
}

function rainTable(title, rows, unit) {
  const t = document.createElement("table");
  t.createCaption().textContent = title;
  for (const [label, value] of rows) {
    const row = t.insertRow();
    const th = document.createElement("th");
    th.textContent = label;
    row.appendChild(th);
    row.appendChild(cell(value, unit));
  }
  return t;
}

async function loadSummaries() {
  const get = async period => (await fetch(`api/summary?period=${period}`, { cache: "no-store" })).json();
  let day, month, year, all;
  try {
    [day, month, year, all] = await Promise.all(["day", "month", "year", "all"].map(get));
  } catch (e) { return; }
  const tables = document.getElementById("extreme-tables");
  tables.textContent = "";
  tables.appendChild(extremeTable(own("today"), day, false));
  tables.appendChild(extremeTable(own("thisMonth"), month, true));
  tables.appendChild(extremeTable(own("thisYear"), year, true));
  tables.appendChild(extremeTable(own("allTime"), all, true));
  const unit = day.units.rain;
  const rain = document.getElementById("rain-tables");
  rain.textContent = "";
  rain.appendChild(rainTable(own("total"), [[`${own("today")} (${day.label})`, day.rain.total],
    [`${own("thisMonth")} (${month.label})`, month.rain.total],
    [`${own("thisYear")} (${year.label})`, year.rain.total]], unit));
  rain.appendChild(rainTable(`${own("perMonth")} (${year.label})`,
    year.rain.totals.map(r => [r.period, r.total]), unit));
  rain.appendChild(rainTable(own("perYear"), all.rain.totals.map(r => [r.period, r.total]), unit));
}

// ---- climate reports ---------------------------------------------------------

// The month's or the year's report as text, and a link that downloads it.
async function showReport() {
  const kind = document.getElementById("report-kind").value;
  const month = document.getElementById("report-month"), year = document.getElementById("report-year");
  month.hidden = kind !== "month";
  year.hidden = kind !== "year";
  const period = kind === "month" ? month.value : year.value;
  const out = document.getElementById("report-text");
  const link = document.getElementById("report-download");
  link.hidden = true;
  if (!period) return;
  try {
    const res = await fetch(`api/report?period=${encodeURIComponent(period)}`, { cache: "no-store" });
    out.textContent = await res.text();
    link.hidden = !res.ok;
    link.href = `api/report?period=${encodeURIComponent(period)}&download=1`;
  } catch (e) { out.textContent = String(e.message || e); }
}

// ---- start -----------------------------------------------------------------

async function start() {
  await loadTexts();
  document.getElementById("ch-prev").onclick = () => { if (page.channel > 1) { page.channel--; showLive(); } };
  document.getElementById("ch-next").onclick = () => { if (page.channel < 7) { page.channel++; showLive(); } };
  for (const b of document.querySelectorAll("#period [data-period]"))
    b.onclick = () => showPeriod(b.dataset.period);
  document.getElementById("period").onsubmit = e => { e.preventDefault(); showPeriod("range"); };
  await pollLive();
  setInterval(pollLive, 10000);
  await pollUploads();
  setInterval(pollUploads, 30000);
  // The charts end at the archive's newest record, which the series API
  // takes as its default end.
  try {
    const d = await (await fetch("api/series?fields=rain", { cache: "no-store" })).json();
    page.anchor = seconds(d.to);
  } catch (e) { page.anchor = Math.floor(Date.now() / 60000) * 60; }
  const asked = new URLSearchParams(location.search).get("period");
  await showPeriod(PERIOD_DAYS[asked] ? asked : "day");
  await loadSummaries();
  // The report of the newest record's month to begin with.
  document.getElementById("report-month").value = dateOf(page.anchor).slice(0, 7);
  document.getElementById("report-year").value = dateOf(page.anchor).slice(0, 4);
  document.getElementById("report-kind").onchange = showReport;
  document.getElementById("report-form").onsubmit = e => { e.preventDefault(); showReport(); };
  await showReport();
  // The charts follow their area's width: a turned phone, and a scroll bar
  // that comes once the page below them has loaded, which left them wider
  // than their frames.
  let fitted = 0;
  new ResizeObserver(() => {
    if (chartWidth() === fitted) return;
    fitted = chartWidth();
    page.charts.forEach(c => c.setSize({ width: fitted, height: chartHeight() }));
  }).observe(document.getElementById("chart-area"));
  await new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)));
  document.body.dataset.ready = "1";
}

start();
