// The tiling on the page's canvas: drawn by the program's rasteriser at the
// canvas's own pixel size for the part of the world shown, so that every
// zoom is redrawn sharp, with outlines as legible as the scale allows.
// Wheel and pinch zoom about the pointer, a drag pans, a double click shows
// the whole picture again.
export class TilingView {
  constructor(canvas, hexagon) {
    this.canvas = canvas;
    this.hexagon = hexagon;
    this.style = 2;
    this.view = null;  // the world shown: { left, right, bottom, top }
    this.pending = false;
    this.pointers = new Map();
    this.renders = 0;  // pictures drawn (the tests watch it)
    new ResizeObserver(() => this.redraw()).observe(canvas);
    canvas.addEventListener('wheel', (e) => this.wheel(e), { passive: false });
    canvas.addEventListener('pointerdown', (e) => this.down(e));
    canvas.addEventListener('pointermove', (e) => this.move(e));
    for (const type of ['pointerup', 'pointercancel', 'pointerleave'])
      canvas.addEventListener(type, (e) => this.pointers.delete(e.pointerId));
    canvas.addEventListener('dblclick', () => this.fit());
  }

  hasTiling() {
    return this.hexagon.N() > 0;
  }

  // The whole picture, centred with its margin.
  fit() {
    this.view = null;
    this.redraw();
  }

  setStyle(style) {
    this.style = style;
    this.fit();
  }

  redraw() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => {
      this.pending = false;
      this.draw();
    });
  }

  size() {
    const ratio = window.devicePixelRatio || 1;
    const rect = this.canvas.getBoundingClientRect();
    return [Math.max(1, Math.round(rect.width * ratio)), Math.max(1, Math.round(rect.height * ratio))];
  }

  draw() {
    const [w, h] = this.size();
    if (this.canvas.width !== w) this.canvas.width = w;
    if (this.canvas.height !== h) this.canvas.height = h;
    const ctx = this.canvas.getContext('2d');
    if (!this.hasTiling()) {
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(0, 0, w, h);
      return;
    }
    if (!this.view) {
      const [x1, y1, x2, y2] = this.hexagon.whole_view(this.style, w, h);
      this.view = { left: Math.min(x1, x2), right: Math.max(x1, x2), bottom: Math.min(y1, y2), top: Math.max(y1, y2) };
    }
    // Keep the aspect of the canvas (a resize shows more or less world).
    const v = this.view;
    const scale = (v.right - v.left) / w;
    const cy = (v.top + v.bottom) / 2;
    v.bottom = cy - (h * scale) / 2;
    v.top = cy + (h * scale) / 2;
    const rgba = this.hexagon.render(this.style, w, h, v.left, v.bottom, v.right, v.top);
    ctx.putImageData(new ImageData(new Uint8ClampedArray(rgba), w, h), 0, 0);
    this.renders += 1;
  }

  // The world point under a pointer event.
  world(e) {
    const rect = this.canvas.getBoundingClientRect();
    const fx = (e.clientX - rect.left) / rect.width;
    const fy = (e.clientY - rect.top) / rect.height;
    const v = this.view;
    return [v.left + fx * (v.right - v.left), v.top - fy * (v.top - v.bottom), fx, fy];
  }

  // Zooms by `factor` (> 1: closer) keeping the world point at (fx, fy) of
  // the canvas where it is.
  zoomAt(wx, wy, fx, fy, factor) {
    const v = this.view;
    const width = (v.right - v.left) / factor;
    const height = (v.top - v.bottom) / factor;
    // No closer than a lozenge filling the canvas, no further than a dot.
    if (width < 0.5 || width > 1e7) return;
    v.left = wx - fx * width;
    v.right = v.left + width;
    v.top = wy + fy * height;
    v.bottom = v.top - height;
    this.redraw();
  }

  wheel(e) {
    if (!this.view) return;
    e.preventDefault();
    const [wx, wy, fx, fy] = this.world(e);
    this.zoomAt(wx, wy, fx, fy, Math.exp(-e.deltaY * (e.deltaMode === 1 ? 0.05 : 0.0015)));
  }

  down(e) {
    this.canvas.setPointerCapture(e.pointerId);
    this.pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
  }

  move(e) {
    const last = this.pointers.get(e.pointerId);
    if (!last || !this.view) return;
    const rect = this.canvas.getBoundingClientRect();
    const v = this.view;
    if (this.pointers.size === 1) {
      const dx = ((e.clientX - last.x) / rect.width) * (v.right - v.left);
      const dy = ((e.clientY - last.y) / rect.height) * (v.top - v.bottom);
      v.left -= dx;
      v.right -= dx;
      v.top += dy;
      v.bottom += dy;
      this.redraw();
    } else if (this.pointers.size === 2) {
      // Pinch: the distance between the two fingers sets the zoom, about
      // their midpoint.
      const other = [...this.pointers.entries()].find(([id]) => id !== e.pointerId)[1];
      const before = Math.hypot(last.x - other.x, last.y - other.y);
      const after = Math.hypot(e.clientX - other.x, e.clientY - other.y);
      if (before > 0 && after > 0) {
        const mid = { clientX: (e.clientX + other.x) / 2, clientY: (e.clientY + other.y) / 2 };
        const [wx, wy, fx, fy] = this.world(mid);
        this.zoomAt(wx, wy, fx, fy, after / before);
      }
    }
    this.pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
  }
}
