// A small time-series plot on a canvas: a few named series of (time, value)
// points over a fixed window, drawn as lines with auto-scaled axes. The
// inspector's own; no library.
"use strict";

class OstrelPlot {
  constructor(canvas, windowSeconds) {
    this.canvas = canvas;
    this.windowMs = windowSeconds * 1000;
    this.series = new Map(); // label -> {color, points: [[t, v], ...]}
    this.colors = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                   "#17becf", "#8c564b", "#e377c2"];
  }

  has(label) { return this.series.has(label); }

  add(label) {
    if (this.series.has(label)) return this.series.get(label).color;
    const color = this.colors[this.series.size % this.colors.length];
    this.series.set(label, { color: color, points: [] });
    return color;
  }

  remove(label) { this.series.delete(label); this.draw(); }

  labels() { return Array.from(this.series.keys()); }

  push(label, time, value) {
    const s = this.series.get(label);
    if (!s || !Number.isFinite(value)) return;
    s.points.push([time, value]);
    const oldest = time - this.windowMs;
    while (s.points.length && s.points[0][0] < oldest) s.points.shift();
  }

  pointCount() {
    let n = 0;
    for (const s of this.series.values()) n += s.points.length;
    return n;
  }

  draw() {
    const c = this.canvas;
    const g = c.getContext("2d");
    const w = c.width, h = c.height, left = 56, bottom = 20, top = 8;
    g.clearRect(0, 0, w, h);
    const now = Date.now();
    let lo = Infinity, hi = -Infinity;
    for (const s of this.series.values()) {
      for (const p of s.points) { lo = Math.min(lo, p[1]); hi = Math.max(hi, p[1]); }
    }
    if (lo === Infinity) { lo = 0; hi = 1; }
    if (lo === hi) { lo -= 1; hi += 1; }
    const x = (t) => left + (w - left - 4) * (1 - (now - t) / this.windowMs);
    const y = (v) => top + (h - top - bottom) * (1 - (v - lo) / (hi - lo));
    g.strokeStyle = "#d8dee6";
    g.fillStyle = "#667085";
    g.font = "11px sans-serif";
    g.beginPath();
    g.moveTo(left, top); g.lineTo(left, h - bottom); g.lineTo(w - 4, h - bottom);
    g.stroke();
    g.fillText(String(Number(hi.toPrecision(6))), 2, top + 10);
    g.fillText(String(Number(lo.toPrecision(6))), 2, h - bottom);
    g.fillText("-" + this.windowMs / 60000 + " min", left, h - 4);
    g.fillText("now", w - 28, h - 4);
    for (const s of this.series.values()) {
      g.strokeStyle = s.color;
      g.lineWidth = 1.5;
      g.beginPath();
      s.points.forEach((p, i) => {
        if (i === 0) g.moveTo(x(p[0]), y(p[1])); else g.lineTo(x(p[0]), y(p[1]));
      });
      g.stroke();
    }
    c.dataset.points = String(this.pointCount());
  }
}

window.OstrelPlot = OstrelPlot;
