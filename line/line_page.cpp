#include "line/line_page.h"

const char LINE_PAGE_HTML[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>korvane-line</title>
<style>
body { font-family: sans-serif; margin: 1em; background: #f6f6f6; color: #222; }
h1 { font-size: 1.4em; margin: 0 0 .5em; }
#link { color: #666; margin-bottom: 1em; }
.station { background: #fff; border: 1px solid #ccc; border-radius: 6px; padding: .6em; margin-bottom: .8em; }
.station.silent { opacity: .55; border-style: dashed; }
.station h2 { font-size: 1.1em; margin: 0 0 .3em; }
.facts { color: #444; font-size: .9em; margin-bottom: .4em; }
.slots { display: flex; flex-wrap: wrap; gap: .4em; }
.slot { border: 1px solid #bbb; border-radius: 4px; padding: .3em .5em; min-width: 9em; font-size: .85em; }
.slot.PASS { background: #dfd; } .slot.FAIL { background: #fdd; } .slot.ERROR { background: #fec; }
.slot .name { font-weight: bold; }
</style>
</head>
<body>
<h1>korvane-line</h1>
<div id="link">connecting&hellip;</div>
<main id="stations"></main>
<script>
'use strict';
(function () {
  const box = document.getElementById('stations');
  const link = document.getElementById('link');
  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function ago(s) {
    if (s === null) return 'never heard from';
    if (s < 60) return 'heard ' + s + ' s ago';
    if (s < 7200) return 'heard ' + Math.floor(s / 60) + ' min ago';
    return 'heard ' + Math.floor(s / 3600) + ' h ago';
  }
  function show(doc) {
    const parts = [];
    for (const st of doc.stations) {
      const card = el('section', 'station' + (st.silent ? ' silent' : ''));
      card.appendChild(el('h2', '', st.station + (st.silent ? ' (silent)' : '')));
      const y = st.yield === null ? '\u2013' : (st.yield * 100).toFixed(1) + '%';
      let facts = 'today: ' + st.tested + ' tested, ' + st.passed + ' passed, ' + st.failed +
        ' failed, yield ' + y + ' \u00b7 ' + ago(st.heard_s);
      if (st.waiting !== null) facts += ' \u00b7 outbox ' + st.waiting + ' waiting';
      if (st.parked) facts += ', ' + st.parked + ' refused';
      card.appendChild(el('div', 'facts', facts));
      const slots = el('div', 'slots');
      const state = st.state || { slots: [] };
      for (const s of state.slots || []) {
        const tile = el('div', 'slot ' + (s.verdict || ''));
        tile.appendChild(el('div', 'name', s.slot));
        tile.appendChild(el('div', '', s.serial ? 'serial ' + s.serial : 'no serial'));
        tile.appendChild(el('div', '', s.verdict ? s.verdict + (s.detail ? ': ' + s.detail : '') : s.phase));
        slots.appendChild(tile);
      }
      card.appendChild(slots);
      parts.push(card);
    }
    box.replaceChildren(...parts);
  }
  const events = new EventSource('/events');
  events.addEventListener('line', (e) => { link.textContent = 'live'; show(JSON.parse(e.data)); });
  events.onerror = () => { link.textContent = 'reconnecting\u2026'; };
})();
</script>
</body>
</html>
)page";
