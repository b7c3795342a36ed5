// The station's live page: one tile per slot, kept up to date from the
// server's event stream. Every text that reaches the page is set with
// textContent, never parsed as HTML, since serial numbers are typed by hand.
'use strict';

(function () {
  // The run's token; a station started again has a new one, taken up when
  // the page reconnects.
  let token = document.querySelector('meta[name="korvane-token"]').content;
  const entry = token !== '';
  const tiles = new Map();
  const slotsBox = document.getElementById('slots');
  const link = document.getElementById('link');
  let order = [];
  let events = null;
  // When the station was last heard (a state or a beat), how often it beats,
  // and whether it is taken for not answering.
  let heard = Date.now();
  let beatEvery = 15000;
  let silent = false;

  // What a test (or a curious engineer) reads back: how late each state was
  // in the page and on screen (a frame later; a hidden page paints none), how
  // many states arrived, and how often the stream was lost.
  const record = { delays: [], applied: [], states: 0, connected: false, lost: 0, tokens: 0 };
  window.korvane = record;

  function keep(list, value) {
    list.push(value);
    if (list.length > 1000) list.shift();
  }

  function element(tag, className, text) {
    const made = document.createElement(tag);
    if (className) made.className = className;
    if (text !== undefined) made.textContent = text;
    return made;
  }

  function clock(seconds) {
    const whole = Math.max(0, Math.floor(seconds));
    const minutes = Math.floor(whole / 60);
    const rest = String(whole % 60).padStart(2, '0');
    if (minutes < 60) return minutes + ':' + rest;
    return Math.floor(minutes / 60) + ':' + String(minutes % 60).padStart(2, '0') + ':' + rest;
  }

  function ask(path, body) {
    return fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(Object.assign({ token: token }, body)),
    }).then((response) => response.json());
  }

  function retry(tile) {
    ask('/retry', { slot: tile.name })
      .then((answer) => say(tile, answer.ok ? 'trying the board again' : answer.error, !answer.ok))
      .catch(() => say(tile, 'the station did not answer', true));
  }

  // The field is cleared and locked from Enter until the station answers, and
  // the focus moves on at once: keys typed meanwhile (a scanner's burst)
  // start the next serial instead of being added to this one.
  function post(tile) {
    const serial = tile.input.value;
    tile.input.value = '';
    tile.input.readOnly = true;
    say(tile, 'sending ' + serial + '\u2026', false);
    focusNext(tile);
    const answered = () => { tile.input.readOnly = false; };
    ask('/serial', { slot: tile.name, serial: serial })
      .then((answer) => {
        answered();
        if (answer.ok) {
          say(tile, 'taken: ' + serial, false);
        } else {
          say(tile, serial + ' refused: ' + answer.error, true);
        }
      })
      .catch(() => {
        answered();
        say(tile, serial + ' not taken: the station did not answer', true);
      });
  }

  function say(tile, text, refused) {
    tile.message.textContent = text;
    tile.message.classList.toggle('refused', refused);
  }

  function makeTile(name) {
    const tile = { name: name, slot: null, received: 0 };
    tile.root = element('section', 'tile waiting');
    tile.root.dataset.slot = name;
    tile.title = element('h2', 'name', name);
    tile.port = element('div', 'port');
    tile.serial = element('div', 'serial');
    tile.next = element('div', 'next');
    tile.phase = element('div', 'phase');
    tile.bar = element('div', 'bar');
    tile.fill = element('div', 'fill');
    tile.bar.appendChild(tile.fill);
    tile.verdict = element('div', 'verdict');
    tile.detail = element('div', 'detail');
    tile.elapsed = element('div', 'elapsed');
    tile.root.append(tile.title, tile.port, tile.serial, tile.next, tile.phase, tile.bar,
      tile.verdict, tile.detail);
    if (entry) {
      const form = element('form', 'entry');
      tile.input = element('input');
      tile.input.type = 'text';
      tile.input.autocomplete = 'off';
      tile.input.spellcheck = false;
      tile.input.placeholder = 'scan or type a serial';
      tile.input.setAttribute('aria-label', 'serial number for ' + name);
      tile.message = element('div', 'message');
      tile.retry = element('button', 'retry', 'retry this board');
      tile.retry.type = 'button';
      tile.retry.hidden = true;
      tile.retry.addEventListener('click', () => retry(tile));
      form.append(tile.input, tile.retry, tile.message);
      form.addEventListener('submit', (event) => {
        event.preventDefault();
        if (tile.input.value !== '' && !tile.input.readOnly) post(tile);
      });
      tile.root.appendChild(form);
    }
    tile.root.appendChild(tile.elapsed);
    return tile;
  }

  function tone(slot) {
    switch (slot.verdict) {
      case 'PASS': return 'pass';
      case 'FAIL': return 'fail';
      case 'ERROR': return 'error';
      case 'INTERRUPTED': return 'error';
      case 'HOLD': return 'error';
      case 'NOT RECORDED': return 'unrecorded';
    }
    return slot.busy ? 'running' : 'waiting';
  }

  function showTile(tile, slot, now) {
    tile.slot = slot;
    tile.received = now;
    tile.root.className = 'tile ' + tone(slot);
    tile.port.textContent = slot.port;
    tile.serial.textContent = slot.serial;
    tile.next.textContent = slot.next_serial ? 'next: ' + slot.next_serial : '';
    tile.phase.textContent = slot.phase;
    if (tile.retry) tile.retry.hidden = !slot.held;
    tile.bar.hidden = slot.percent < 0;
    tile.fill.style.width = Math.min(100, Math.max(0, slot.percent)) + '%';
    tile.verdict.textContent = slot.verdict;
    tile.detail.textContent = slot.detail;
    tick(tile, now);
  }

  // The elapsed time runs on between states while a board is under test; a
  // verdict keeps its board's own time, and when it ended. The clock stops
  // with a station that does not answer.
  function tick(tile, now) {
    if (!tile.slot || silent) return;
    const running = tile.slot.busy ? (now - tile.received) / 1000 : 0;
    let text = clock(tile.slot.seconds + running);
    if (tile.slot.ended) {
      text += ', ended ' + new Date(tile.slot.ended).toLocaleTimeString([], { hour12: false });
    }
    tile.elapsed.textContent = text;
  }

  function percent(fraction) {
    return fraction === null || fraction === undefined ? '\u2013' : (fraction * 100).toFixed(1) + '%';
  }

  function show(state) {
    const now = Date.now();
    hear();
    document.getElementById('station').textContent = state.station || 'korvane-station';
    document.title = (state.station || 'korvane-station') + ' \u2014 korvane-station';
    // The station's own figures (one definition of each), shown as given; the
    // rare ones only once there are any.
    for (const name of ['tested', 'passed', 'failed', 'errors', 'interrupted', 'not_recorded',
      'slot_errors']) {
      const shown = document.getElementById(name);
      shown.textContent = state[name];
      if (shown.parentElement.classList.contains('rare')) shown.parentElement.hidden = !state[name];
    }
    document.getElementById('yield').textContent = percent(state.first_pass_yield);
    document.getElementById('final_yield').textContent = percent(state.final_yield);
    const line = document.getElementById('line');
    line.hidden = !state.line;
    line.textContent = state.line || '';
    const names = state.slots.map((slot) => slot.slot);
    if (names.join('\n') !== order.join('\n')) {
      tiles.clear();
      slotsBox.replaceChildren();
      for (const name of names) {
        const tile = makeTile(name);
        tiles.set(name, tile);
        slotsBox.appendChild(tile.root);
      }
      order = names;
    }
    state.slots.forEach((slot) => showTile(tiles.get(slot.slot), slot, now));
    if (entry) focusFirst();
    record.states += 1;
    keep(record.applied, Date.now() - state.time_ms);
    requestAnimationFrame(() => keep(record.delays, Date.now() - state.time_ms));
  }

  function waitingTiles() {
    return order.map((name) => tiles.get(name)).filter((tile) => tile.slot && tile.slot.takes_serial);
  }

  // A barcode scanner types into whatever has the focus: keep it on the first
  // slot that takes a serial, as a bare serial on the terminal would go. A field the operator chose keeps the
  // focus; only the one placed here moves on once its slot has a serial.
  let placed = null;

  function focusFirst() {
    const active = document.activeElement;
    if (active && active.tagName === 'INPUT') {
      if (active !== placed || active.value !== '') return;
      if (waitingTiles().some((tile) => tile.input === active)) return;
    }
    const first = waitingTiles()[0];
    if (first) place(first.input);
  }

  function focusNext(after) {
    const next = waitingTiles().find((tile) => tile !== after);
    if (next) place(next.input);
  }

  function place(input) {
    placed = input;
    input.focus();
  }

  function hear() {
    heard = Date.now();
    if (!silent) return;
    silent = false;
    live();
  }

  function live() {
    link.textContent = entry ? 'live' : 'live \u2014 view only';
    link.classList.remove('lost');
    document.body.classList.remove('stale');
  }

  function lost(text) {
    link.textContent = text;
    link.classList.add('lost');
    document.body.classList.add('stale');
  }

  // A station started again serves a page with its new run's token: taken
  // from there (parsed, never run), so that serials typed here are taken.
  function renewToken() {
    if (!entry) return;
    fetch('/', { cache: 'no-store' })
      .then((response) => response.text())
      .then((html) => {
        const page = new DOMParser().parseFromString(html, 'text/html');
        const meta = page.querySelector('meta[name="korvane-token"]');
        if (meta && meta.content !== '' && meta.content !== token) {
          token = meta.content;
          record.tokens += 1;
        }
      })
      .catch(() => {});
  }

  // A stream the server refused says why in its answer ("too many pages are
  // open"): shown in words while the page tries again.
  function sayRefusal() {
    const stop = new AbortController();
    fetch('/events', { signal: stop.signal, cache: 'no-store' })
      .then((response) => (response.ok ? null : response.text()))
      .then((text) => {
        stop.abort();
        if (text) lost('refused by the station: ' + text.trim() + ' \u2014 trying again\u2026');
      })
      .catch(() => {});
  }

  function connect() {
    events = new EventSource('/events');
    events.addEventListener('open', () => {
      record.connected = true;
      heard = Date.now();
      silent = false;
      live();
      if (record.lost > 0) renewToken();
    });
    events.addEventListener('state', (event) => show(JSON.parse(event.data)));
    events.addEventListener('beat', (event) => {
      const beat = JSON.parse(event.data);
      if (beat.every_ms > 0) beatEvery = beat.every_ms;
      hear();
    });
    events.addEventListener('error', () => {
      record.connected = false;
      record.lost += 1;
      lost('connection lost \u2014 reconnecting\u2026');
      // The browser retries a dropped stream by itself, but not one the
      // server refused; that one is tried again here.
      if (events.readyState === EventSource.CLOSED) {
        events.close();
        sayRefusal();
        setTimeout(connect, 2000);
      }
    });
  }

  // Two beats missed: the station hangs or the path to it died without
  // closing. Said, with the time it was last heard, and the stream is
  // opened again.
  function watch() {
    if (silent || Date.now() - heard <= 2 * beatEvery + 1000) return;
    silent = true;
    record.connected = false;
    record.lost += 1;
    const at = new Date(heard);
    lost('station not answering since ' + String(at.getHours()).padStart(2, '0') + ':' +
      String(at.getMinutes()).padStart(2, '0') + ':' + String(at.getSeconds()).padStart(2, '0'));
    events.close();
    connect();
  }

  setInterval(() => {
    const now = Date.now();
    watch();
    tiles.forEach((tile) => tick(tile, now));
  }, 1000);
  connect();
})();
