// SPDX-License-Identifier: MIT
// What the window's bank dock shows, on the page: per bank its letter, mute and solo toggles, the
// waveform of the last 20 ms and a peak meter with a hold mark. The render worker computes them
// with the window's own code (music::BankScope) about every 20 ms; they are drawn here at the
// display's rate. And the developer panel: the worklet's late quanta and slowest quantum.
import { text, tabNames } from './texts.js';

const kHot = '#d03028';

export class BankScopes {
  // `toggle(kind, bank)` makes a mute or solo button sharing the tabs' state.
  constructor(root, toggle) {
    this.root = root;
    this.audible = 31;
    this.data = null;     // the worker's latest: 5 x [level, hold], then 5 traces
    this.drawn = null;
    this.running = false;
    root.title = text('scopesTip');
    const caption = document.createElement('div');
    caption.className = 'scopes-caption';
    caption.textContent = text('scopes');
    root.append(caption);
    const panes = document.createElement('div');
    panes.className = 'scope-panes';
    this.canvases = [0, 1, 2, 3, 4].map((b) => {
      const pane = document.createElement('div');
      pane.className = 'scope';
      const head = document.createElement('div');
      head.className = 'scope-head';
      const name = document.createElement('span');
      name.textContent = tabNames()[b + 1];
      head.append(name, toggle('mute', b), toggle('solo', b));
      const canvas = document.createElement('canvas');
      canvas.id = 'scope-' + tabNames()[b + 1];
      pane.append(head, canvas);
      panes.append(pane);
      return canvas;
    });
    root.append(panes);
  }

  setAudible(mask) {
    this.audible = mask;
    this.drawn = null;
    this.frame();
  }

  update(data) {
    this.data = data;
    this.frame();
  }

  // Draws at the display's rate while there is something new to draw.
  frame() {
    if (this.running) return;
    this.running = true;
    requestAnimationFrame(() => {
      this.running = false;
      if (this.data !== this.drawn) this.draw();
    });
  }

  draw() {
    const d = this.data;
    this.drawn = d;
    const style = getComputedStyle(this.root);
    const ink = style.getPropertyValue('--scope-ink').trim() || '#1d4f91';
    const dim = style.getPropertyValue('--scope-dim').trim() || '#9a9a9a';
    const back = style.getPropertyValue('--scope-meter').trim() || '#e8e8e8';
    const window = d ? (d.length - 10) / 5 : 0;
    this.canvases.forEach((canvas, b) => {
      const w = canvas.clientWidth, h = canvas.clientHeight;
      if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
      const g = canvas.getContext('2d');
      g.clearRect(0, 0, w, h);
      const colour = (this.audible >> b) & 1 ? ink : dim;
      const meterWidth = 6;
      const wave = { x: 2, y: 2, w: w - meterWidth - 8, h: h - 4 };
      g.strokeStyle = back;
      g.setLineDash([1, 2]);
      g.beginPath();
      g.moveTo(wave.x, wave.y + wave.h / 2);
      g.lineTo(wave.x + wave.w, wave.y + wave.h / 2);
      g.stroke();
      g.setLineDash([]);
      if (d && window >= 2) {
        g.strokeStyle = colour;
        g.lineWidth = 1.2;
        g.beginPath();
        for (let i = 0; i < window; ++i) {
          const x = wave.x + (wave.w * i) / (window - 1);
          const y = wave.y + wave.h / 2 - (d[10 + b * window + i] * wave.h) / 2;
          if (i === 0) g.moveTo(x, y); else g.lineTo(x, y);
        }
        g.stroke();
      }
      // The meter: the level as a bar from the bottom, the hold as a line.
      const [level, hold] = d ? [d[2 * b], d[2 * b + 1]] : [0, 0];
      canvas.dataset.level = level.toFixed(3);  // for the tests
      const mx = w - meterWidth - 2, my = 2, mh = h - 4;
      g.fillStyle = back;
      g.fillRect(mx, my, meterWidth, mh);
      g.fillStyle = level >= 0.99 ? kHot : colour;
      g.fillRect(mx, my + mh * (1 - level), meterWidth, mh * level);
      if (hold > 0) {
        g.fillStyle = hold >= 0.99 ? kHot : style.color;
        g.fillRect(mx, my + mh * (1 - hold) - 1, meterWidth, 1.5);
      }
    });
  }
}

// Late quanta (a quantum the worklet could not fill from what was ready) and the slowest quantum,
// with the last open and swap in the render worker. Hidden unless asked for.
export class DevPanel {
  constructor(root, player) {
    this.root = root;
    this.player = player;
    this.shown = false;
    this.times = { open: null, swap: null, heard: null };
    this.timer = 0;
  }

  show(on) {
    this.shown = on;
    this.root.hidden = !on;
    clearInterval(this.timer);
    if (on) this.timer = setInterval(() => this.refresh(), 250);
    this.refresh();
  }

  timing({ what, ms }) { this.times[what] = ms; }
  // Where the music heard now stands.
  position({ songFrame, frame }) {
    this.root.dataset.songFrame = songFrame;
    this.root.dataset.frame = frame;
  }

  // An edit heard `ms` after its keystroke.
  heard(ms) { this.times.heard = ms; }

  async refresh() {
    const p = this.player();
    const s = p ? await p.stats() : null;
    const ms = (v) => (v === null ? '–' : v.toFixed(1) + ' ms');
    const coarse = p?.clock === 'Date.now';
    const rows = [
      ['devLate', s ? String(s.late) : '–'],
      ['devWorst', s ? (s.worstUs / 1000).toFixed(3) + ' ms' + (coarse ? ` (${text('devCoarse', { over: s.over })})` : '') : '–'],
      ['devMean', s && s.quanta ? (s.totalUs / s.quanta).toFixed(1) + ' µs' : '–'],
      ['devQuanta', s ? String(s.quanta) : '–'],
      ['devStarved', s ? `${s.starved} (${s.starvedTimes}×)` : '–'],
      ['devRing', p ? text(p.shared ? 'devShared' : 'devChunks') : '–'],
      ['devOpen', ms(this.times.open)],
      ['devSwap', ms(this.times.swap)],
      ['devHeard', ms(this.times.heard)],
    ];
    this.root.replaceChildren(...rows.map(([key, value]) => {
      const row = document.createElement('div');
      row.dataset.stat = key;
      row.textContent = `${text(key)}: ${value}`;
      return row;
    }));
    this.root.dataset.late = s ? String(s.late) : '';
    this.root.dataset.worstUs = s ? String(s.worstUs) : '';
    this.root.dataset.over = s ? String(s.over) : '';
    this.root.dataset.starved = s ? String(s.starved) : '';
    this.root.dataset.starvedTimes = s ? String(s.starvedTimes) : '';
    this.root.dataset.meanUs = s && s.quanta ? String(s.totalUs / s.quanta) : '';
    this.root.dataset.heardMs = this.times.heard === null ? '' : String(this.times.heard);
  }
}
