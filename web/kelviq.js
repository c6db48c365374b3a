// The page: picks a picture, shows it four ways, lets the colour be picked and the settings
// typed, and downloads the plot files. All decoding, tracing and writing happens in workers
// (kelviq-worker.js) with the converter's own code compiled to WebAssembly.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const ZoomSteps = [1 / 16, 1 / 8, 1 / 4, 1 / 2, 1, 2, 4, 8, 16, 32];
  const Extensions = { ipf: ".plt", gerber: ".gbr", kicad: ".kicad_mod", svg: ".svg" };

  const wasm = (async () => {
    const response = fetch("kelviq_web.wasm");
    try {
      return await WebAssembly.compileStreaming(response);
    } catch (e) {
      return WebAssembly.compile(await (await fetch("kelviq_web.wasm")).arrayBuffer());
    }
  })();

  // One worker holding (at most) one picture; request() answers with a promise.
  class Worker1 {
    constructor() {
      this.worker = new Worker("kelviq-worker.js");
      this.next = 1;
      this.waiting = new Map();
      this.worker.onmessage = (event) => {
        const m = event.data;
        const job = this.waiting.get(m.job);
        if (!job) return;
        if (m.type === "progress") {
          if (job.onProgress) job.onProgress(m.fraction);
          return;
        }
        this.waiting.delete(m.job);
        if (m.type === "done") job.resolve(m);
        else job.reject(new Error(m.message));
      };
      this.worker.onerror = (event) => {
        event.preventDefault();
        this.stopped = true;
        this.fail("The page's worker stopped: " + (event.message || "out of memory"));
      };
      this.ready = wasm.then((module) => this.worker.postMessage({ type: "init", module }));
    }
    request(type, data, transfer, onProgress) {
      const job = this.next++;
      return new Promise((resolve, reject) => {
        this.waiting.set(job, { resolve, reject, onProgress });
        this.ready.then(() => this.worker.postMessage(Object.assign({ type, job }, data), transfer || []));
      });
    }
    fail(text) {
      for (const job of this.waiting.values()) job.reject(new Error(text));
      this.waiting.clear();
    }
    terminate() {
      this.worker.terminate();
      this.fail("replaced");
    }
  }

  // A worker started ahead, its WebAssembly ready, for the next picture: each picture gets a
  // fresh one, and starting it (some tens of milliseconds) is not spent while the user waits.
  let spare = null;
  function freshWorker() {
    const worker = spare || new Worker1();
    spare = null;
    return worker;
  }
  function prepareSpare() {
    if (!spare) spare = new Worker1();
  }

  // What is shown: the picture in its worker, its views and the last trace.
  let current = null; // {worker, name, width, height, picture, traced, runs, segments}
  let loading = null; // {worker, name}
  let mode = "picture";
  let zoom = 1;
  let marker = null; // keyboard picking position {x, y}
  let lastRun = { text: "", error: false };
  let tracing = false;
  let traceAgain = false;
  let picking = false;
  let pending = 0; // picks and traces under way: the view is busy

  function busy(change) {
    pending += change;
    if (pending > 0) view.setAttribute("aria-busy", "true");
    else view.removeAttribute("aria-busy");
  }

  const view = $("view");
  const canvas = $("view-canvas");
  const context = canvas.getContext("2d");

  // ---- numbers and texts, as the window words them

  function parseNumber(text) {
    return /^[ \t]*[+-]?(\d+\.?\d*|\.\d+)[ \t]*$/.test(text) ? Number(text) : null;
  }
  function lengthText(v) {
    let t = v.toFixed(3).replace(/0+$/, "").replace(/\.$/, "");
    return t === "-0" ? "0" : t;
  }
  function segmentsText(n) {
    return n === 1 ? "1 segment" : n + " segments";
  }
  function sizeText(bytes) {
    if (bytes < 1000) return bytes + " bytes";
    const units = ["kB", "MB", "GB", "TB"];
    let value = bytes / 1000;
    let unit = 0;
    while (value >= 1000 && unit < units.length - 1) {
      value /= 1000;
      unit++;
    }
    return value.toFixed(1) + " " + units[unit];
  }
  function colorName() {
    return $("color").value.toUpperCase();
  }
  function baseName(name) {
    const dot = name.lastIndexOf(".");
    return dot > 0 ? name.slice(0, dot) : name;
  }

  function settings() {
    return {
      color: $("color").value,
      tolerance: $("tolerance").value.trim() === "" ? "0" : $("tolerance").value,
      despeckle: $("despeckle").value.trim() === "" ? "0" : $("despeckle").value,
      invert: $("invert").checked,
      scale: $("scale").value,
      thickness: $("thickness").value,
      shape: $("shape").value,
      side: $("side").value,
      layer: $("layer").value,
    };
  }

  function showStatus() {
    const parts = [];
    const scale = parseNumber($("scale").value);
    if (!current) {
      parts.push("No picture");
    } else {
      parts.push(current.width + " × " + current.height + " pixels");
      if (scale === null) {
        parts.push('scale "' + $("scale").value + '" is not a number');
      } else {
        const w = current.width * scale;
        const h = current.height * scale;
        parts.push("plot " + lengthText(w) + " × " + lengthText(h) + " mils (" + lengthText(w * 0.0254) + " × " + lengthText(h * 0.0254) + " mm)");
      }
    }
    parts.push(colorName());
    if (current) parts.push(current.segments === null ? "counting segments…" : segmentsText(current.segments));
    $("status-facts").textContent = parts.join("   ");

    const advice = [];
    const thickness = parseNumber($("thickness").value);
    if (thickness === null) {
      advice.push('thickness "' + $("thickness").value + '" is not a number');
    } else {
      if (scale !== null && scale > 0) {
        const d = thickness - scale;
        if (d < 0) advice.push("Gaps of " + lengthText(-d) + " mils between rows: lines thinner than the pixel pitch");
        else if (d > 0) advice.push("Rows " + lengthText(d) + " mils taller than their pixels: the artwork grows " + lengthText(d / 2) + " mils at top and bottom");
      }
      if (thickness < 5) advice.push("Thinner than 5 mils (0.127 mm): finer than many board makers print on silkscreen");
    }
    $("status-advice").textContent = advice.join("   ");
    $("status-run").textContent = lastRun.text;
    $("status-run").classList.toggle("error", lastRun.error);
  }

  function note(text, error) {
    lastRun = { text, error: !!error };
    showStatus();
  }

  function enableExports() {
    for (const id of ["export-gerber", "export-kicad", "export-svg"]) $(id).disabled = !current;
  }

  // ---- opening pictures

  async function openFile(file, ignored) {
    if (loading) loading.worker.terminate(); // a newer choice replaces one still loading
    const worker = freshWorker();
    const job = (loading = { worker, name: file.name });
    const progress = $("progress");
    progress.hidden = false;
    progress.removeAttribute("value");
    note("Reading " + file.name + "…");
    try {
      const opened = await worker.request("open", { file, name: file.name }, [], (fraction) => {
        if (loading !== job) return;
        progress.value = fraction;
        note("Reading " + file.name + "… " + Math.round(fraction * 100) + "%");
      });
      if (loading !== job) return;
      if (current) {
        current.worker.terminate();
        current.picture.close();
        if (current.traced) current.traced.close();
      }
      current = { worker, name: file.name, width: opened.width, height: opened.height, picture: opened.picture, traced: null, runs: null, segments: null };
      marker = null;
      $("picture-name").textContent = file.name;
      $("view-empty").hidden = true;
      fitZoom();
      note(ignored ? "Opened " + file.name + "; " + ignored + (ignored === 1 ? " other file was" : " other files were") + " ignored" : "");
      enableExports();
      retrace();
    } catch (e) {
      if (loading !== job) return;
      worker.terminate();
      note(e.message, true);
    } finally {
      if (loading === job) {
        loading = null;
        progress.hidden = true;
      }
      prepareSpare();
    }
  }

  // ---- tracing, with the picture's own worker; only the newest settings count

  async function retrace() {
    if (!current) return;
    if (tracing) {
      traceAgain = true;
      return;
    }
    const shown = current;
    const s = settings();
    if (!/^\s*\+?\d+\s*$/.test(s.tolerance) || Number(s.tolerance) > 255 || !/^\s*\+?\d+\s*$/.test(s.despeckle)) {
      note(!/^\s*\+?\d+\s*$/.test(s.tolerance) || Number(s.tolerance) > 255
        ? 'The tolerance "' + s.tolerance + '" is not a whole number from 0 to 255.'
        : 'The speck size "' + s.despeckle + '" is not a whole number of pixels (0 or more, up to 2147483647).', true);
      return;
    }
    tracing = true;
    traceAgain = false;
    busy(1);
    shown.segments = null;
    showStatus();
    try {
      const t = await shown.worker.request("trace", { settings: s });
      if (current === shown) {
        if (shown.traced) shown.traced.close();
        shown.traced = t.traced;
        shown.runs = t.runs;
        shown.segments = t.segments;
        draw();
      } else {
        t.traced.close();
      }
    } catch (e) {
      if (current === shown) note(e.message, true);
    } finally {
      tracing = false;
      showStatus();
      if (traceAgain) retrace();
      busy(-1);
    }
  }

  // ---- the view

  function fitZoom() {
    if (!current) return;
    const w = view.clientWidth - 16;
    const h = view.clientHeight - 16;
    const fit = Math.min(w / current.width, h / current.height);
    zoom = Math.max(1 / 16, Math.min(32, fit >= 1 ? Math.floor(fit) : fit));
    layout();
  }

  function setZoom(z, centreX, centreY) {
    if (!current) return;
    const cx = centreX === undefined ? view.clientWidth / 2 : centreX;
    const cy = centreY === undefined ? view.clientHeight / 2 : centreY;
    const px = (view.scrollLeft + cx) / zoom;
    const py = (view.scrollTop + cy) / zoom;
    zoom = z;
    layout();
    view.scrollLeft = px * zoom - cx;
    view.scrollTop = py * zoom - cy;
    draw();
  }

  function stepZoom(direction) {
    const i = direction > 0 ? ZoomSteps.findIndex((s) => s > zoom * 1.0001) : ZoomSteps.findLastIndex((s) => s < zoom / 1.0001);
    if (i >= 0) setZoom(ZoomSteps[i]);
  }

  function layout() {
    const size = $("view-size");
    size.style.width = (current ? Math.ceil(current.width * zoom) : 1) + "px";
    size.style.height = (current ? Math.ceil(current.height * zoom) : 1) + "px";
    $("zoom-level").textContent = Math.round(zoom * 1000) / 10 + "%";
    draw();
  }

  function draw() {
    const ratio = window.devicePixelRatio || 1;
    const w = view.clientWidth;
    const h = view.clientHeight;
    if (canvas.width !== Math.round(w * ratio) || canvas.height !== Math.round(h * ratio)) {
      canvas.width = Math.round(w * ratio);
      canvas.height = Math.round(h * ratio);
      canvas.style.width = w + "px";
      canvas.style.height = h + "px";
    }
    // Keeps the canvas over the visible part; the spacer gives the scroll range.
    canvas.style.marginBottom = -h + "px";
    context.setTransform(1, 0, 0, 1, 0, 0);
    context.clearRect(0, 0, canvas.width, canvas.height);
    if (!current) return;
    context.setTransform(ratio * zoom, 0, 0, ratio * zoom, -view.scrollLeft * ratio, -view.scrollTop * ratio);
    context.imageSmoothingEnabled = zoom < 1;
    context.imageSmoothingQuality = "high";
    const left = view.scrollLeft / zoom;
    const top = view.scrollTop / zoom;
    const right = left + w / zoom;
    const bottom = top + h / zoom;
    if (mode === "picture" || (mode === "traced" && !current.traced)) {
      context.drawImage(current.picture, 0, 0);
    } else if (mode === "traced") {
      context.drawImage(current.traced, 0, 0);
    } else if (mode === "outline") {
      drawOutline(top, bottom);
    } else {
      drawPlot(left, top, right, bottom, ratio);
    }
    if (marker) {
      context.lineWidth = 2 / (zoom * ratio);
      context.strokeStyle = "#ff8c00";
      context.strokeRect(marker.x, marker.y, 1, 1);
    }
  }

  // The first run of the rows from row on (runs: row, begin, end of each run, rows in order).
  function firstRunFrom(runs, row) {
    let lo = 0;
    let hi = runs.length / 3;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (runs[mid * 3] < row) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  // The filled outlines, dark on white: exactly the traced pixels' squares, as --shape outline
  // writes them (seen from the top, like the picture).
  function drawOutline(top, bottom) {
    context.fillStyle = "#ffffff";
    context.fillRect(0, 0, current.width, current.height);
    const runs = current.runs;
    if (!runs) return;
    context.fillStyle = "#1e1e1e";
    context.beginPath();
    for (let i = firstRunFrom(runs, Math.floor(top)) * 3; i < runs.length && runs[i] <= bottom; i += 3)
      context.rect(runs[i + 1], runs[i], runs[i + 2] - runs[i + 1], 1);
    context.fill();
  }

  // Every segment a line of the set thickness with round ends, a pixel being the scale.
  function drawPlot(left, top, right, bottom, ratio) {
    context.fillStyle = "#ffffff";
    context.fillRect(0, 0, current.width, current.height);
    const runs = current.runs;
    const scale = parseNumber($("scale").value);
    const thickness = parseNumber($("thickness").value);
    if (!runs || scale === null || thickness === null || !(scale > 0)) return;
    const half = Math.max(thickness / (2 * scale), 0.5 / (zoom * ratio));
    // First run of the rows in reach.
    let lo = 0;
    let hi = runs.length / 3;
    const firstRow = Math.floor(top - half - 1);
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (runs[mid * 3] < firstRow) lo = mid + 1;
      else hi = mid;
    }
    const lastRow = bottom + half + 1;
    const lastColumn = current.width - 1;
    context.strokeStyle = context.fillStyle = "#1e1e1e";
    context.lineWidth = 2 * half;
    context.lineCap = "round";
    let count = 0;
    context.beginPath();
    for (let i = lo * 3; i < runs.length && runs[i] <= lastRow; i += 3) {
      const end = runs[i + 2] > lastColumn ? lastColumn : runs[i + 2];
      if (end < left - half || runs[i + 1] > right + half) continue;
      const y = runs[i] + 0.5;
      context.moveTo(runs[i + 1], y);
      context.lineTo(end, y);
      if (++count % 20000 === 0) {
        context.stroke();
        context.beginPath();
      }
    }
    context.stroke();
  }

  function picturePoint(event) {
    const rect = view.getBoundingClientRect();
    return {
      x: Math.floor((event.clientX - rect.left - view.clientLeft + view.scrollLeft) / zoom),
      y: Math.floor((event.clientY - rect.top - view.clientTop + view.scrollTop) / zoom),
    };
  }

  async function pick(x, y) {
    if (!current || x < 0 || y < 0 || x >= current.width || y >= current.height) return;
    const shown = current;
    busy(1);
    try {
      const answer = await shown.worker.request("point", { x, y });
      if (current !== shown || !answer.color) return;
      if ($("color").value !== answer.color) {
        $("color").value = answer.color;
        retrace();
      }
      showStatus();
    } catch (e) {
      if (current === shown) note(e.message, true);
    } finally {
      busy(-1);
    }
  }

  // ---- writing files

  function download(bytes, name) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  async function make(format) {
    if (!current) {
      note((format === "ipf" ? "out.plt" : "The file") + " not made: no picture chosen", true);
      return;
    }
    const shown = current;
    const name = format === "ipf" ? "out.plt" : baseName(shown.name) + Extensions[format];
    const s = Object.assign(settings(), { format, name: baseName(name) });
    const button = $(format === "ipf" ? "make" : "export-" + format);
    button.disabled = true;
    button.setAttribute("aria-busy", "true");
    try {
      const result = await shown.worker.request("write", { settings: s });
      download(result.bytes, name);
      note(segmentsText(result.segments) + " written to " + name + " (" + sizeText(result.bytes.length) + ")");
    } catch (e) {
      note(e.message, true);
    } finally {
      button.disabled = false;
      button.removeAttribute("aria-busy");
      if (format !== "ipf") enableExports();
    }
  }

  async function sizeFromPlot(field, byWidth) {
    const text = $(field).value.trim();
    if (!current || text === "") return;
    $(byWidth ? "plot-height" : "plot-width").value = "";
    try {
      const answer = await current.worker.request("scaleFor", { length: text + "mm", byWidth, name: current.name });
      $("scale").value = answer.scale;
      note("");
      draw();
    } catch (e) {
      note(e.message, true);
    }
  }

  // ---- for scripts and tests: a picture file's bytes to a plot file

  // One worker converts for scripts, one picture after another (each freed when done), so
  // only the first call waits for a worker to start; one that stopped (out of memory) is
  // replaced.
  let converter = null;
  window.kelviq = {
    async convert(bytes, options) {
      const worker = converter || (converter = freshWorker());
      const data = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
      try {
        const m = await worker.request("convert", { bytes: data, options: options || {} });
        return { bytes: m.bytes, segments: m.segments, shapes: m.shapes, width: m.width, height: m.height };
      } catch (e) {
        if (worker.stopped && converter === worker) {
          converter = null;
          worker.terminate();
        }
        throw e;
      }
    },
  };

  // ---- wiring

  $("picture").addEventListener("change", () => {
    const files = $("picture").files;
    if (files.length) openFile(files[0], files.length - 1);
    $("picture").value = "";
  });
  $("picture").addEventListener("focus", () => $("picture-label").classList.add("focused"));
  $("picture").addEventListener("blur", () => $("picture-label").classList.remove("focused"));
  $("picture-label").addEventListener("keydown", (e) => {
    if (e.key === "Enter" || e.key === " ") $("picture").click();
  });
  document.addEventListener("dragover", (e) => {
    e.preventDefault();
    view.classList.add("dropping");
  });
  document.addEventListener("dragleave", () => view.classList.remove("dropping"));
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    view.classList.remove("dropping");
    const files = e.dataTransfer.files;
    if (files.length) openFile(files[0], files.length - 1);
  });

  $("make").addEventListener("click", () => make("ipf"));
  $("export-gerber").addEventListener("click", () => make("gerber"));
  $("export-kicad").addEventListener("click", () => make("kicad"));
  $("export-svg").addEventListener("click", () => make("svg"));

  for (const id of ["color", "tolerance", "despeckle", "invert"]) $(id).addEventListener("input", () => { showStatus(); retrace(); });
  $("invert").addEventListener("change", () => retrace());
  for (const id of ["scale", "thickness"]) $(id).addEventListener("input", () => {
    if (id === "scale") $("plot-width").value = $("plot-height").value = "";
    showStatus();
    if (mode === "plot") draw();
  });
  $("plot-width").addEventListener("change", () => sizeFromPlot("plot-width", true));
  $("plot-height").addEventListener("change", () => sizeFromPlot("plot-height", false));
  for (const radio of document.querySelectorAll('input[name="mode"]')) radio.addEventListener("change", () => {
    mode = radio.value;
    draw();
  });
  $("zoom-in").addEventListener("click", () => stepZoom(1));
  $("zoom-out").addEventListener("click", () => stepZoom(-1));
  $("zoom-actual").addEventListener("click", () => setZoom(1));
  $("zoom-fit").addEventListener("click", () => fitZoom());

  view.addEventListener("scroll", draw);
  new ResizeObserver(draw).observe(view);
  view.addEventListener("pointerdown", (e) => {
    if (e.button !== 0 || !current) return;
    picking = true;
    view.setPointerCapture(e.pointerId);
    const p = picturePoint(e);
    pick(p.x, p.y);
  });
  view.addEventListener("pointermove", (e) => {
    if (!picking) return;
    const p = picturePoint(e);
    pick(p.x, p.y);
  });
  view.addEventListener("pointerup", () => (picking = false));
  view.addEventListener("pointercancel", () => (picking = false));
  view.addEventListener("wheel", (e) => {
    if (!e.ctrlKey || !current) return;
    e.preventDefault();
    const rect = view.getBoundingClientRect();
    const i = e.deltaY < 0 ? ZoomSteps.findIndex((s) => s > zoom * 1.0001) : ZoomSteps.findLastIndex((s) => s < zoom / 1.0001);
    if (i >= 0) setZoom(ZoomSteps[i], e.clientX - rect.left, e.clientY - rect.top);
  }, { passive: false });
  view.addEventListener("keydown", (e) => {
    if (!current) return;
    const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (steps[e.key]) {
      e.preventDefault();
      const by = e.shiftKey ? 10 : 1;
      if (!marker) marker = { x: Math.floor((view.scrollLeft + view.clientWidth / 2) / zoom), y: Math.floor((view.scrollTop + view.clientHeight / 2) / zoom) };
      marker.x = Math.max(0, Math.min(current.width - 1, marker.x + steps[e.key][0] * by));
      marker.y = Math.max(0, Math.min(current.height - 1, marker.y + steps[e.key][1] * by));
      // Keep the marker in sight.
      const mx = marker.x * zoom - view.scrollLeft;
      const my = marker.y * zoom - view.scrollTop;
      if (mx < 0 || mx > view.clientWidth - zoom) view.scrollLeft = marker.x * zoom - view.clientWidth / 2;
      if (my < 0 || my > view.clientHeight - zoom) view.scrollTop = marker.y * zoom - view.clientHeight / 2;
      draw();
    } else if ((e.key === "Enter" || e.key === " ") && marker) {
      e.preventDefault();
      pick(marker.x, marker.y);
    } else if (e.key === "+" || e.key === "=") {
      stepZoom(1);
    } else if (e.key === "-") {
      stepZoom(-1);
    } else if (e.key === "0") {
      setZoom(1);
    } else if (e.key === "f" || e.key === "F") {
      fitZoom();
    }
  });
  document.addEventListener("keydown", (e) => {
    if (!e.ctrlKey || !current) return;
    const modes = { 1: "picture", 2: "traced", 3: "plot", 4: "outline" };
    if (modes[e.key]) {
      e.preventDefault();
      document.querySelector('input[name="mode"][value="' + modes[e.key] + '"]').click();
    }
  });

  enableExports();
  showStatus();
  layout();
  prepareSpare();
})();
