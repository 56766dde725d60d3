// The page's side of the browser back end (platform/web): the elements of
// the window, the modal dialogs, the browser's storage, files, sound and
// Web MIDI. The program calls the host's methods (platform/web/page_calls.cpp)
// and takes the events the host queues whenever its loop looks.
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const CONFIG_KEY = 'talverine/config/';
  const BITMAPS = { 1: 'eprom.png', 2: 'check.png', 3: 'cross.png' };
  // The MIDI wire: 31250 baud, ten bits a byte.
  const WIRE_BYTES_PER_MS = 3.125;

  const EVENT = { command: 1, button: 2, click: 3, resize: 4, boxAnswer: 5, dialog: 6, fileChosen: 7,
    midiIn: 8, drop: 9, midiSent: 10, simAction: 11 };
  const ID = { ok: 1, cancel: 2, yes: 6, no: 7 };

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function place(e, x, y, w, h) {
    e.style.left = x + 'px';
    e.style.top = y + 'px';
    e.style.width = w + 'px';
    e.style.height = h + 'px';
  }
  // "&File" shown as File with its F underlined; "&&" is a plain "&".
  function withMnemonic(e, text) {
    e.textContent = '';
    let key = null;
    for (let i = 0; i < text.length; ++i) {
      if (text[i] === '&' && i + 1 < text.length) {
        ++i;
        if (text[i] !== '&' && key === null) {
          key = text[i].toLowerCase();
          e.appendChild(el('u', null, text[i]));
          continue;
        }
      }
      e.appendChild(document.createTextNode(text[i]));
    }
    return key;
  }
  function plain(text) { return text.replace(/&(.)/g, '$1'); }

  class Host {
    constructor(module) {
      this.module = module;
      this.events = [];
      this.eventBytes = null;
      this.elements = new Map();
      this.statusEdges = new Map();
      this.bitmaps = {};
      this.pen = { width: 1, colour: '#000' };
      this.align = 0;
      this.midi = null;
      this.midiInputs = [];
      this.midiOutputs = [];
      this.outputFree = [];
      this.audio = null;
      this.sound = null;
      this.dialogs = new Map();
      this.client = document.getElementById('client');
      this.canvas = document.getElementById('canvas');
      this.ctx = this.canvas.getContext('2d', { alpha: false });
    }

    push(kind, a = 0, b = 0, c = 0, d = 0, text = '', bytes = null) {
      this.events.push({ kind, a, b, c, d, text, bytes });
      this.wake();
    }
    // The program waits here for the next event or the end of `ms`.
    waitEvent(ms, wakeUp) {
      if (this.events.length > 0 && ms > 0) ms = 0;
      let timer = null;
      const done = () => {
        if (this.waiting !== done) return;
        this.waiting = null;
        clearTimeout(timer);
        wakeUp();
      };
      this.waiting = done;
      timer = setTimeout(done, ms);
    }
    wake() {
      // Not from inside the push itself: the program may be the caller.
      if (this.waiting) queueMicrotask(() => { if (this.waiting) this.waiting(); });
    }
    take_event(ints) {
      const e = this.events.shift();
      if (!e) return null;
      const heap = this.module.HEAP32;
      const at = ints >> 2;
      heap[at] = e.kind; heap[at + 1] = e.a; heap[at + 2] = e.b; heap[at + 3] = e.c; heap[at + 4] = e.d;
      heap[at + 5] = e.bytes ? e.bytes.length : 0;
      this.eventBytes = e.bytes;
      return e.text;
    }
    take_event_bytes(out) {
      if (this.eventBytes) this.module.HEAPU8.set(this.eventBytes, out);
      this.eventBytes = null;
    }

    async loadBitmaps() {
      await Promise.all(Object.entries(BITMAPS).map(async ([id, file]) => {
        const img = new Image();
        img.src = file;
        await img.decode();
        this.bitmaps[id] = img;
      }));
    }

    // --- the main window ------------------------------------------------------
    create_main(caption, menuJson) {
      document.title = caption;
      this.buildMenus(JSON.parse(menuJson));
      this.fitCanvas();
      new ResizeObserver(() => {
        if (this.fitCanvas()) this.push(EVENT.resize, this.client_width(), this.client_height());
      }).observe(this.client);
      this.client.addEventListener('mousedown', (ev) => {
        if (ev.target !== this.canvas || ev.button !== 0) return;
        const r = this.canvas.getBoundingClientRect();
        const keys = 1 | (ev.shiftKey ? 4 : 0) | (ev.ctrlKey ? 8 : 0);
        this.push(EVENT.click, Math.floor(ev.clientX - r.left), Math.floor(ev.clientY - r.top), keys);
      });
      this.client.addEventListener('dragover', (ev) => { ev.preventDefault(); });
      this.client.addEventListener('drop', (ev) => { ev.preventDefault(); this.dropFiles(ev); });
    }
    destroy_main() { document.getElementById('app').hidden = true; }
    // The simulated Kilnbox's panel, a window of its own over the page that
    // the button beside the menus shows and hides.
    sim_panel(setupJson) {
      const setup = JSON.parse(setupJson);
      const panel = el('dialog', 'sim-panel');
      panel.setAttribute('aria-label', setup.title);
      panel.appendChild(el('div', 'caption', setup.title));
      this.simDisplay = el('pre', 'sim-display');
      this.simSocket = el('pre', 'sim-socket');
      const typeLabel = el('label', null, setup.typeLabel + ' ');
      const types = el('select');
      setup.types.forEach((t) => types.appendChild(el('option', null, t)));
      types.selectedIndex = setup.defaultType;
      typeLabel.appendChild(types);
      const grid = el('div', 'sim-buttons');
      this.simButtons = setup.buttons.map((b, index) => {
        const button = el('button', null, b.label);
        button.style.gridRow = String(b.row + 1);
        button.style.gridColumn = String(b.column + 1);
        button.addEventListener('click', async () => {
          if (!b.asksForFile) { this.push(EVENT.simAction, index, types.selectedIndex); return; }
          const input = el('input');
          input.type = 'file';
          input.accept = '.bin,.rom';
          input.addEventListener('change', async () => {
            const path = input.files[0] && await this.copyIn(input.files[0]);
            if (path) this.push(EVENT.simAction, index, types.selectedIndex, 0, 0, path);
          });
          input.click();
        });
        grid.appendChild(button);
        return { button, needsEprom: b.needsEprom };
      });
      const row = el('div', 'sim-row');
      row.append(typeLabel, grid);
      panel.append(this.simDisplay, this.simSocket, row);
      document.body.appendChild(panel);
      const toggle = el('button', 'sim-toggle', setup.title);
      toggle.addEventListener('click', () => (panel.open ? panel.close() : panel.show()));
      document.getElementById('top').insertBefore(toggle, document.getElementById('midi-note'));
    }
    sim_show(display, socket, eprom) {
      if (this.simDisplay.textContent !== display) this.simDisplay.textContent = display;
      if (this.simSocket.textContent !== socket) this.simSocket.textContent = socket;
      for (const b of this.simButtons) b.button.disabled = b.needsEprom && !eprom;
    }
    program_ended() {
      document.getElementById('app').hidden = true;
      document.getElementById('ended').hidden = false;
    }
    client_width() { return this.client.clientWidth; }
    client_height() { return this.client.clientHeight; }
    // The canvas's pixels follow the client area's size and the screen's
    // density; true when they changed (the picture is then gone).
    fitCanvas() {
      const dpr = window.devicePixelRatio || 1;
      const w = Math.max(1, Math.round(this.client.clientWidth * dpr));
      const h = Math.max(1, Math.round(this.client.clientHeight * dpr));
      if (this.canvas.width === w && this.canvas.height === h) return false;
      this.canvas.width = w;
      this.canvas.height = h;
      this.canvas.style.width = this.client.clientWidth + 'px';
      this.canvas.style.height = this.client.clientHeight + 'px';
      this.dpr = dpr;
      this.ctx.fillStyle = '#fff';
      this.ctx.fillRect(0, 0, w, h);
      delete document.body.dataset.paintedSize;
      return true;
    }

    buildMenus(menu) {
      const bar = document.getElementById('menubar');
      bar.textContent = '';
      this.menus = [];
      for (const popup of menu) {
        const top = el('button', 'menu-title');
        top.setAttribute('role', 'menuitem');
        top.setAttribute('aria-haspopup', 'true');
        const key = withMnemonic(top, popup.text);
        const list = el('div', 'menu-list');
        list.setAttribute('role', 'menu');
        list.hidden = true;
        for (const item of popup.items) {
          if (item.text === null) { list.appendChild(el('hr')); continue; }
          const b = el('button', 'menu-item');
          b.setAttribute('role', 'menuitem');
          b.dataset.command = item.id;
          b.dataset.key = withMnemonic(b, item.text) || '';
          b.addEventListener('click', () => { this.closeMenus(); this.push(EVENT.command, item.id); });
          list.appendChild(b);
        }
        const entry = { top, list, key };
        top.addEventListener('click', () => (list.hidden ? this.openMenu(entry) : this.closeMenus()));
        top.addEventListener('mouseenter', () => { if (this.openEntry && this.openEntry !== entry) this.openMenu(entry); });
        const holder = el('div', 'menu');
        holder.append(top, list);
        bar.appendChild(holder);
        this.menus.push(entry);
      }
      document.addEventListener('mousedown', (ev) => { if (!bar.contains(ev.target)) this.closeMenus(); });
      document.addEventListener('keydown', (ev) => this.menuKey(ev));
    }
    openMenu(entry, focusFirst = false) {
      this.closeMenus();
      entry.list.hidden = false;
      this.openEntry = entry;
      const first = entry.list.querySelector('button');
      if (focusFirst && first) first.focus();
    }
    closeMenus() {
      for (const m of this.menus) m.list.hidden = true;
      this.openEntry = null;
    }
    // Alt and a title's letter opens it; in an open menu the arrows move,
    // a letter picks its item, Esc closes.
    menuKey(ev) {
      if (document.querySelector('dialog[open]')) return;
      const key = ev.key.toLowerCase();
      // F10 opens the first menu, as on the desktop (the browser may keep
      // some Alt+letter keys for itself).
      if (ev.key === 'F10' && !this.openEntry) { ev.preventDefault(); this.openMenu(this.menus[0], true); return; }
      if (ev.altKey && !this.openEntry) {
        const entry = this.menus.find((m) => m.key === key);
        if (entry) { ev.preventDefault(); this.openMenu(entry, true); }
        return;
      }
      const entry = this.openEntry;
      if (!entry) return;
      const items = [...entry.list.querySelectorAll('button')];
      const at = items.indexOf(document.activeElement);
      const index = this.menus.indexOf(entry);
      if (ev.key === 'Escape') { this.closeMenus(); entry.top.focus(); }
      else if (ev.key === 'ArrowDown') items[(at + 1) % items.length].focus();
      else if (ev.key === 'ArrowUp') items[(at - 1 + items.length) % items.length].focus();
      else if (ev.key === 'ArrowRight') this.openMenu(this.menus[(index + 1) % this.menus.length], true);
      else if (ev.key === 'ArrowLeft') this.openMenu(this.menus[(index - 1 + this.menus.length) % this.menus.length], true);
      else {
        const item = items.find((b) => b.dataset.key === key);
        if (!item) return;
        item.click();
      }
      ev.preventDefault();
    }

    // --- controls on the client area ----------------------------------------------
    create_button(handle, label, id, x, y, w, h) {
      const b = el('button', 'control push');
      withMnemonic(b, label);
      place(b, x, y, w, h);
      b.addEventListener('click', () => this.push(EVENT.button, handle, id));
      this.add(handle, b);
    }
    create_status(handle) {
      const bar = el('div', 'control status');
      bar.setAttribute('role', 'status');
      this.statusEdges.set(handle, [-1]);
      this.add(handle, bar);
      this.status_parts_from(handle, [-1]);
    }
    status_parts(handle, edgesPtr, count) {
      const edges = Array.from(this.module.HEAP32.subarray(edgesPtr >> 2, (edgesPtr >> 2) + count));
      this.status_parts_from(handle, edges);
    }
    status_parts_from(handle, edges) {
      const bar = this.elements.get(handle);
      if (!bar) return;
      const texts = [...bar.children].map((p) => p.textContent);
      bar.textContent = '';
      edges.forEach((edge, i) => {
        const part = el('span', 'part', texts[i] || '');
        part.id = 'status-part-' + i;
        const left = i === 0 ? 0 : edges[i - 1];
        part.style.left = left + 'px';
        if (edge < 0) part.style.right = '2px';
        else part.style.width = Math.max(0, edge - left - 2) + 'px';
        bar.appendChild(part);
      });
      this.statusEdges.set(handle, edges);
    }
    status_text(handle, part, text) {
      const bar = this.elements.get(handle);
      if (bar && bar.children[part]) bar.children[part].textContent = text;
    }
    create_progress(handle, x, y, w, h) {
      const bar = el('div', 'control progress');
      bar.setAttribute('role', 'progressbar');
      bar.appendChild(el('div', 'fill'));
      place(bar, x, y, w, h);
      this.add(handle, bar);
    }
    progress_set(handle, position, range) {
      const bar = this.elements.get(handle);
      if (!bar) return;
      const share = range > 0 ? Math.min(1, Math.max(0, position / range)) : 0;
      bar.firstChild.style.width = (share * 100) + '%';
      bar.setAttribute('aria-valuenow', String(position));
      bar.setAttribute('aria-valuemax', String(range));
    }
    move_element(handle, x, y, w, h) {
      const e = this.elements.get(handle);
      if (e) place(e, x, y, w, h);
    }
    destroy_element(handle) {
      const e = this.elements.get(handle);
      if (e) e.remove();
      this.elements.delete(handle);
      this.statusEdges.delete(handle);
    }
    add(handle, e) {
      e.dataset.handle = handle;
      this.client.appendChild(e);
      this.elements.set(handle, e);
    }

    // --- painting -------------------------------------------------------------------
    paint_begin(erase) {
      this.fitCanvas();
      const c = this.ctx;
      c.setTransform(this.dpr, 0, 0, this.dpr, 0, 0);
      c.imageSmoothingEnabled = false;
      if (erase) {
        c.fillStyle = '#fff';
        c.fillRect(0, 0, this.canvas.width, this.canvas.height);
      }
      c.lineCap = 'butt';
      c.strokeStyle = '#000';
      c.lineWidth = 1;
      this.pen = { width: 1 };
      this.align = 0;
      this.font = "13px 'Courier New', 'Liberation Mono', monospace";
    }
    paint_end() {
      if (!document.body.dataset.drawn) document.body.dataset.drawn = String(performance.now());
      // Set by each whole paint, cleared by a resize (which clears the
      // canvas): a reader of the canvas waits for the paint at its size.
      document.body.dataset.paintedSize = `${this.canvas.width}x${this.canvas.height}`;
    }
    canvas_pen(width, colour) {
      const r = colour & 0xff, g = (colour >> 8) & 0xff, b = (colour >> 16) & 0xff;
      this.ctx.strokeStyle = `rgb(${r},${g},${b})`;
      this.ctx.lineWidth = width;
      this.ctx.lineCap = width > 1 ? 'round' : 'butt';
      this.pen = { width, style: this.ctx.strokeStyle };
    }
    canvas_line(x0, y0, x1, y1) {
      const c = this.ctx;
      // One-pixel lines on pixel centres, as the desktop draws them.
      const o = this.pen.width % 2 === 1 ? 0.5 : 0;
      if (x0 === x1 && y0 === y1) {
        // The canvas strokes nothing for a line of no length, where the
        // desktop draws the pen's dot: a silent stretch of a trace is made
        // of them.
        const w = this.pen.width;
        c.fillStyle = this.pen.style || c.strokeStyle;
        c.fillRect(x0 + o - w / 2, y0 + o - w / 2, w, w);
        return;
      }
      c.beginPath();
      c.moveTo(x0 + o, y0 + o);
      c.lineTo(x1 + o, y1 + o);
      c.stroke();
    }
    canvas_bitmap(id, x, y, w, h) {
      const img = this.bitmaps[id];
      if (!img || w <= 0 || h <= 0) return;
      const sw = Math.min(w, img.naturalWidth), sh = Math.min(h, img.naturalHeight);
      this.ctx.drawImage(img, 0, 0, sw, sh, x, y, sw, sh);
    }
    canvas_font(height, weight, italic, pitchAndFamily, face) {
      // A negative height is the characters' own; a positive one the
      // whole cell, of which the characters take about 85 %.
      const px = height < 0 ? -height : height > 0 ? Math.max(1, Math.round(height * 0.85)) : 13;
      const generic = (pitchAndFamily & 0xf0) === 0x30 || (pitchAndFamily & 3) === 1 ? 'monospace'
        : (pitchAndFamily & 0xf0) === 0x10 ? 'serif' : 'sans-serif';
      const family = face === 'Courier New' ? "'Courier New', 'Liberation Mono'" : face ? `'${face}'` : '';
      this.font = `${italic ? 'italic ' : ''}${weight > 0 ? weight : 400} ${px}px ${family ? family + ', ' : ''}${generic}`;
    }
    canvas_align(align) { this.align = align; }
    canvas_text(x, y, text) {
      const c = this.ctx;
      c.font = this.font;
      const m = c.measureText(text);
      const ascent = m.fontBoundingBoxAscent || m.actualBoundingBoxAscent || 10;
      const descent = m.fontBoundingBoxDescent || 3;
      let left = x;
      if ((this.align & 6) === 6) left = x - m.width / 2;
      else if ((this.align & 6) === 2) left = x - m.width;
      // Drawn on the background colour, as an opaque text cell is.
      c.fillStyle = '#fff';
      c.fillRect(left, y, m.width, ascent + descent);
      c.fillStyle = '#000';
      c.textBaseline = 'alphabetic';
      c.textAlign = 'left';
      c.fillText(text, left, y + ascent);
    }

    // --- message boxes --------------------------------------------------------------
    message_box(text, caption, type) {
      const buttons = (type & 0xf) === 1 ? [[ID.ok, 'OK'], [ID.cancel, 'Cancel']]
        : (type & 0xf) === 4 ? [[ID.yes, '&Yes'], [ID.no, '&No']] : [[ID.ok, 'OK']];
      const icon = { 0x10: 'error', 0x20: 'question', 0x30: 'warning', 0x40: 'information' }[type & 0xf0] || '';
      const box = el('dialog', 'box');
      box.setAttribute('aria-label', caption);
      box.appendChild(el('div', 'caption', caption));
      const body = el('div', 'body');
      if (icon) body.appendChild(el('span', 'icon ' + icon, { error: '✖', question: '?', warning: '!', information: 'i' }[icon]));
      body.appendChild(el('p', 'text', text));
      box.appendChild(body);
      const row = el('div', 'buttons');
      for (const [id, label] of buttons) {
        const b = el('button');
        b.dataset.answer = id;
        withMnemonic(b, label);
        b.addEventListener('click', () => this.answerBox(box, id));
        row.appendChild(b);
      }
      box.appendChild(row);
      // Esc: an OK box answers OK, an OK/Cancel box Cancel; a Yes/No box
      // takes a button and nothing else.
      box.addEventListener('cancel', (ev) => {
        ev.preventDefault();
        if ((type & 0xf) === 4) return;
        this.answerBox(box, (type & 0xf) === 1 ? ID.cancel : ID.ok);
      });
      box.addEventListener('keydown', (ev) => {
        const b = [...row.children].find((x) => ev.key.length === 1 && x.querySelector('u') &&
          x.querySelector('u').textContent.toLowerCase() === ev.key.toLowerCase());
        if (b) { ev.preventDefault(); b.click(); }
      });
      document.body.appendChild(box);
      (this.boxes = this.boxes || []).push(box);
      box.showModal();
      row.firstChild.focus();
    }
    answerBox(box, id) {
      if (box.dataset.answered) return;
      box.dataset.answered = '1';
      this.push(EVENT.boxAnswer, id);
    }
    message_box_close() {
      const box = this.boxes && this.boxes.pop();
      if (box) { box.close(); box.remove(); }
    }

    // --- option dialogs, built from the program's templates ---------------------------
    dialog_show(handle, templateJson, stateJson) {
      const tpl = JSON.parse(templateJson);
      // Dialog units of an 8-point face: a quarter and an eighth of its
      // average character's width and height.
      const ux = 1.5, uy = 1.625;
      const dlg = el('dialog', 'options');
      dlg.setAttribute('aria-label', tpl.caption);
      dlg.appendChild(el('div', 'caption', tpl.caption));
      const area = el('div', 'area');
      area.style.width = Math.round(tpl.w * ux) + 'px';
      area.style.height = Math.round(tpl.h * uy) + 'px';
      dlg.appendChild(area);
      const controls = new Map();
      const report = (id, how, index = 0, text = '') => this.push(EVENT.dialog, handle, id, how, index, text);
      for (const c of tpl.controls) {
        let e;
        if (c.kind === 'static') e = el('span', 'static', plain(c.text));
        else if (c.kind === 'group') { e = el('fieldset', 'group'); e.appendChild(el('legend', null, plain(c.text))); }
        else if (c.kind === 'button' || c.kind === 'default') {
          e = el('button', c.kind === 'default' ? 'default' : '');
          withMnemonic(e, c.text);
          e.addEventListener('click', () => report(c.id, 0));
        } else if (c.kind === 'radio' || c.kind === 'autoradio' || c.kind === 'check') {
          e = el('label', 'choice');
          const input = el('input');
          input.type = c.kind === 'check' ? 'checkbox' : 'radio';
          // The program sets the checks; a click is only reported.
          input.addEventListener('click', (ev) => { ev.preventDefault(); report(c.id, 0); });
          const caption = el('span');
          withMnemonic(caption, c.text);
          e.append(input, caption);
        } else if (c.kind === 'edit') {
          e = el('input', 'edit');
          e.type = 'text';
          if (c.right) e.style.textAlign = 'right';
          e.addEventListener('input', () => report(c.id, 2, 0, e.value));
        } else if (c.kind === 'list') {
          e = el('select', 'list');
          e.addEventListener('change', () => report(c.id, 1, e.selectedIndex));
        } else continue;
        e.classList.add('dlg-control');
        if (c.id !== -1) e.dataset.id = c.id;
        // A drop-down list's height in the template is that of its open list.
        place(e, Math.round(c.x * ux), Math.round(c.y * uy), Math.round(c.w * ux),
          Math.round((c.kind === 'list' ? 12 : c.h) * uy));
        area.appendChild(e);
        if (c.id !== -1) controls.set(String(c.id), { kind: c.kind, e });
      }
      dlg.addEventListener('cancel', (ev) => { ev.preventDefault(); report(ID.cancel, 0); });
      dlg.addEventListener('keydown', (ev) => {
        if (ev.key !== 'Enter' || ev.target.tagName === 'BUTTON' || ev.target.tagName === 'SELECT') return;
        const def = area.querySelector('button.default');
        if (def) { ev.preventDefault(); def.click(); }
      });
      this.dialogs.set(handle, { dlg, controls });
      document.body.appendChild(dlg);
      this.dialog_update(handle, stateJson);
      dlg.showModal();
    }
    dialog_update(handle, stateJson) {
      const d = this.dialogs.get(handle);
      if (!d) return;
      const state = JSON.parse(stateJson);
      for (const [id, item] of Object.entries(state)) {
        const c = d.controls.get(id);
        if (!c) continue;
        const e = c.e;
        if (c.kind === 'radio' || c.kind === 'autoradio' || c.kind === 'check') {
          const input = e.querySelector('input');
          input.checked = item.checked;
          input.disabled = !item.enabled;
          if (item.text) withMnemonic(e.querySelector('span'), item.text);
        } else if (c.kind === 'edit') {
          if (e.value !== item.text) e.value = item.text;
          e.disabled = !item.enabled;
        } else if (c.kind === 'list') {
          const names = [...e.options].map((o) => o.text);
          if (names.join('\n') !== item.entries.join('\n') || names.length !== item.entries.length) {
            e.textContent = '';
            for (const entry of item.entries) e.appendChild(el('option', null, entry));
          }
          e.selectedIndex = item.selection;
          e.disabled = !item.enabled;
        } else if (c.kind === 'button' || c.kind === 'default') {
          if (item.text) withMnemonic(e, item.text);
          e.disabled = !item.enabled;
        } else if (item.text) {
          e.textContent = plain(item.text);
        }
      }
    }
    dialog_close(handle) {
      const d = this.dialogs.get(handle);
      if (!d) return;
      d.dlg.close();
      d.dlg.remove();
      this.dialogs.delete(handle);
    }

    // --- files ----------------------------------------------------------------------
    choose_file(save, filtersJson, filterIndex, suggested) {
      const filters = JSON.parse(filtersJson);
      if (save) this.chooseSaveName(filters, filterIndex, suggested);
      else this.chooseOpenFile(filters, filterIndex);
    }
    chooseOpenFile(filters, filterIndex) {
      const input = el('input');
      input.type = 'file';
      const exts = new Set();
      for (const f of filters)
        for (const p of f.pattern.split(';')) { const m = /^\*(\.\w+)$/.exec(p.trim()); if (m) exts.add(m[1].toLowerCase()); }
      input.accept = [...exts].join(',');
      input.addEventListener('change', async () => {
        const file = input.files[0];
        if (!file) { this.push(EVENT.fileChosen, 0); return; }
        const path = await this.copyIn(file);
        // The filter that matches the file's kind, else the one offered.
        const dot = file.name.lastIndexOf('.');
        const ext = dot >= 0 ? file.name.slice(dot).toLowerCase() : '';
        const matching = filters.findIndex((f) => f.pattern.toLowerCase().split(';').some((p) => p.trim() === '*' + ext));
        this.push(EVENT.fileChosen, path ? 1 : 0, matching >= 0 ? matching + 1 : filterIndex, 0, 0, path || '');
      });
      input.addEventListener('cancel', () => this.push(EVENT.fileChosen, 0));
      input.click();
    }
    // The file's bytes into the program's file system; its path there.
    async copyIn(file) {
      try {
        const bytes = new Uint8Array(await file.arrayBuffer());
        const name = file.name.replace(/[\/\0]/g, '_') || 'file';
        const path = '/files/' + name;
        this.module.FS.writeFile(path, bytes);
        return path;
      } catch (err) {
        console.warn('talverine: could not read ' + file.name + ': ' + err);
        return null;
      }
    }
    chooseSaveName(filters, filterIndex, suggested) {
      const dlg = el('dialog', 'options save');
      dlg.setAttribute('aria-label', 'Save File');
      dlg.appendChild(el('div', 'caption', 'Save File'));
      const form = el('form');
      form.method = 'dialog';
      const nameLabel = el('label', null, 'File name: ');
      const name = el('input');
      name.type = 'text';
      name.required = true;
      name.value = suggested || '';
      nameLabel.appendChild(name);
      const kindLabel = el('label', null, 'Save as type: ');
      const kind = el('select');
      filters.forEach((f) => kind.appendChild(el('option', null, f.description)));
      kind.selectedIndex = Math.max(0, Math.min(filters.length - 1, filterIndex - 1));
      kindLabel.appendChild(kind);
      const row = el('div', 'buttons');
      const ok = el('button', 'default', 'Save');
      ok.value = 'save';
      const cancel = el('button', null, 'Cancel');
      cancel.value = 'cancel';
      cancel.formNoValidate = true;
      row.append(ok, cancel);
      form.append(nameLabel, kindLabel, row);
      dlg.appendChild(form);
      dlg.addEventListener('close', () => {
        const chosen = dlg.returnValue === 'save' && name.value.trim() !== '';
        const file = name.value.trim().replace(/[\/\0]/g, '_');
        this.push(EVENT.fileChosen, chosen ? 1 : 0, kind.selectedIndex + 1, 0, 0, chosen ? '/downloads/' + file : '');
        dlg.remove();
      });
      document.body.appendChild(dlg);
      dlg.showModal();
      name.select();
    }
    download(name, ptr, size) {
      const blob = new Blob([this.module.HEAPU8.slice(ptr, ptr + size)], { type: 'application/octet-stream' });
      const a = el('a');
      a.href = URL.createObjectURL(blob);
      a.download = name;
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(a.href), 60000);
    }
    async dropFiles(ev) {
      const r = this.canvas.getBoundingClientRect();
      const x = Math.floor(ev.clientX - r.left), y = Math.floor(ev.clientY - r.top);
      const paths = [];
      for (const file of ev.dataTransfer.files) {
        const path = await this.copyIn(file);
        if (path) paths.push(path);
      }
      if (paths.length) this.push(EVENT.drop, x, y, 0, 0, paths.join('\n'));
    }

    // --- storage --------------------------------------------------------------------
    store_config(name, ptr, size) {
      try {
        localStorage.setItem(CONFIG_KEY + name, new TextDecoder('latin1').decode(this.module.HEAPU8.subarray(ptr, ptr + size)));
        return 1;
      } catch (err) {
        console.warn('talverine: the settings could not be stored: ' + err);
        return 0;
      }
    }
    restoreConfig() {
      const FS = this.module.FS;
      try { FS.mkdir('/config'); } catch (err) { /* there already */ }
      for (let i = 0; i < localStorage.length; ++i) {
        const key = localStorage.key(i);
        if (!key.startsWith(CONFIG_KEY)) continue;
        const name = key.slice(CONFIG_KEY.length);
        if (!name || name.includes('/')) continue;
        const text = localStorage.getItem(key);
        FS.writeFile('/config/' + name, Uint8Array.from(text, (ch) => ch.charCodeAt(0) & 0xff));
      }
    }

    // --- the browser around -----------------------------------------------------------
    open_address(address) {
      // With noopener the browser hands back no window even when it opens
      // one, so there is nothing to tell a blocked one by.
      window.open(address, '_blank', 'noopener');
      return 1;
    }
    play_sound(ptr, size) {
      if (this.sound) { try { this.sound.stop(); } catch (err) { /* ended */ } this.sound = null; }
      if (!ptr) return 1;
      const bytes = this.module.HEAPU8.slice(ptr, ptr + size);
      this.audio = this.audio || new AudioContext();
      this.audio.decodeAudioData(bytes.buffer).then((buffer) => {
        const source = this.audio.createBufferSource();
        source.buffer = buffer;
        source.connect(this.audio.destination);
        source.start();
        this.sound = source;
      }, (err) => console.warn('talverine: the sound could not be played: ' + err));
      return 1;
    }

    // --- Web MIDI -----------------------------------------------------------------------
    async requestMidi() {
      const note = document.getElementById('midi-note');
      if (!navigator.requestMIDIAccess) {
        note.textContent = 'This browser has no Web MIDI: only the simulated Kilnbox can be used.';
        return;
      }
      try {
        this.midi = await navigator.requestMIDIAccess({ sysex: true });
      } catch (err) {
        note.textContent = 'MIDI with System Exclusive messages was not allowed: only the simulated Kilnbox can be used.';
        return;
      }
      this.midiInputs = [...this.midi.inputs.values()];
      this.midiOutputs = [...this.midi.outputs.values()];
    }
    midi_input_count() { return this.midiInputs.length; }
    midi_output_count() { return this.midiOutputs.length; }
    midi_input_name(i) { return this.midiInputs[i] ? this.midiInputs[i].name || 'MIDI In ' + (i + 1) : ''; }
    midi_output_name(i) { return this.midiOutputs[i] ? this.midiOutputs[i].name || 'MIDI Out ' + (i + 1) : ''; }
    midi_open_input(i) {
      const port = this.midiInputs[i];
      if (!port) return 0;
      port.onmidimessage = (ev) => this.push(EVENT.midiIn, i, 0, 0, 0, '', new Uint8Array(ev.data));
      port.open().catch((err) => console.warn('talverine: ' + port.name + ': ' + err));
      return 1;
    }
    midi_close_input(i) {
      const port = this.midiInputs[i];
      if (port) port.onmidimessage = null;
    }
    midi_open_output(i) {
      const port = this.midiOutputs[i];
      if (!port) return 0;
      port.open().catch((err) => console.warn('talverine: ' + port.name + ': ' + err));
      this.outputFree[i] = 0;
      return 1;
    }
    midi_close_output() {}
    midi_send(i, ptr, size) {
      const port = this.midiOutputs[i];
      if (!port) return 0;
      // Each message timed to start when the one before has left the wire;
      // the program hears when its last byte has.
      const now = performance.now();
      const start = Math.max(now, this.outputFree[i] || 0);
      const end = start + size / WIRE_BYTES_PER_MS;
      try {
        port.send(this.module.HEAPU8.slice(ptr, ptr + size), start);
      } catch (err) {
        console.warn('talverine: ' + port.name + ': ' + err);
        return 0;
      }
      this.outputFree[i] = end;
      setTimeout(() => this.push(EVENT.midiSent, i, 1), Math.max(0, end - now));
      return 1;
    }
  }

  async function start() {
    const args = params.has('simulator') ? ['--simulator'] : [];
    let host = null;
    const module = await createTalverine({
      noInitialRun: true,
      locateFile: (file) => file,
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    });
    host = new Host(module);
    module.host = host;
    host.restoreConfig();
    // The program lists the ports as it starts: the browser's answer about
    // MIDI (a prompt, in some) comes first.
    await Promise.all([host.loadBitmaps(), host.requestMidi()]);
    module.callMain(args);
  }

  // One page drives the ports at a time: a second tab says so and stops.
  function startAlone() {
    if (!navigator.locks) { start(); return; }
    navigator.locks.request('talverine', { ifAvailable: true }, (lock) => {
      if (!lock) {
        document.getElementById('app').hidden = true;
        document.getElementById('already-open').hidden = false;
        return null;
      }
      start();
      return new Promise(() => {});  // held while the page lives
    });
  }

  startAlone();
})();
