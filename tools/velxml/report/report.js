'use strict';
// The report page of `velxml report`. Everything it shows comes from the JSON
// block #data, and every value reaches the page through textContent or a
// property, never as markup. Long lists render only the rows in view.
(function () {
  const data = JSON.parse(document.getElementById('data').textContent);
  const DAY = 86400000;
  const MINUTE = 60000;

  // ---- small DOM helpers ------------------------------------------------
  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }
  function add(parent, ...children) {
    for (const child of children) if (child) parent.appendChild(child);
    return parent;
  }
  function link(href, text, className) {
    const a = document.createElement('a');
    a.href = href;
    if (className) a.className = className;
    if (text !== null && text !== undefined) a.textContent = text;
    return a;
  }
  const $ = (id) => document.getElementById(id);

  // ---- the route: #view?date=...&zone=...&item=...&page=... ---------------
  const views = ['summary', 'cards', 'month', 'week', 'list'];
  // The query is decoded once, by URLSearchParams: decoding the whole address
  // first would turn the "+" of Etc/GMT+5 into a space. An address with a
  // malformed escape opens the summary.
  function readRoute() {
    const hash = location.hash.replace(/^#/, '');
    try {
      decodeURIComponent(hash);
    } catch (e) {
      return { view: 'summary', params: new URLSearchParams() };
    }
    const cut = hash.indexOf('?');
    const view = decodeURIComponent(cut < 0 ? hash : hash.slice(0, cut));
    const params = new URLSearchParams(cut < 0 ? '' : hash.slice(cut + 1));
    return { view: views.includes(view) ? view : null, params };
  }
  function routeHref(view, params) {
    const query = new URLSearchParams(params || {}).toString();
    return '#' + view + (query ? '?' + query : '');
  }

  // ---- time zones ----------------------------------------------------------
  // A fixed offset from UTC, "UTC+05:30": its offset in milliseconds, else null.
  function fixedOffset(name) {
    const m = /^UTC([+-])(\d{2}):(\d{2})$/.exec(name || '');
    if (!m || Number(m[2]) > 14 || Number(m[3]) > 59) return null;
    return (m[1] === '-' ? -1 : 1) * (Number(m[2]) * 60 + Number(m[3])) * 60000;
  }
  function validZone(name) {
    if (!name) return false;
    if (fixedOffset(name) !== null) return true;
    try {
      new Intl.DateTimeFormat('en-US', { timeZone: name });
      return true;
    } catch (e) {
      return false;
    }
  }
  const browserZone = Intl.DateTimeFormat().resolvedOptions().timeZone || 'UTC';

  // Wall-clock arithmetic in one IANA zone through Intl. A "local" value is
  // the wall-clock time written as if it were UTC milliseconds, so that day
  // numbers and fields come from the Date's UTC getters.
  function makeZone(name) {
    const fixed = fixedOffset(name);
    if (fixed !== null) return { name, local: (ms) => ms + fixed, instant: (local) => local - fixed };
    const format = new Intl.DateTimeFormat('en-US', {
      timeZone: name, hourCycle: 'h23', year: 'numeric', month: 'numeric', day: 'numeric',
      hour: 'numeric', minute: 'numeric', second: 'numeric',
    });
    const cache = new Map();
    function exactOffset(ms) {
      const whole = ms - (((ms % 1000) + 1000) % 1000);
      const f = {};
      for (const part of format.formatToParts(new Date(whole))) f[part.type] = part.value;
      const year = Number(f.year) * (f.era === 'BC' ? -1 : 1);
      const local = Date.UTC(year, f.month - 1, f.day, Number(f.hour) % 24, f.minute, f.second);
      return local - whole;
    }
    // Offsets change at most once an hour; an hour whose ends agree has one.
    function offset(ms) {
      const hour = Math.floor(ms / 3600000);
      let known = cache.get(hour);
      if (known === undefined) {
        const first = exactOffset(hour * 3600000);
        known = first === exactOffset(hour * 3600000 + 3599000) ? first : null;
        cache.set(hour, known);
      }
      return known === null ? exactOffset(ms) : known;
    }
    return {
      name,
      local: (ms) => ms + offset(ms),
      // The instant of a wall-clock time: the earlier one when the clock is
      // set back; in a gap (clock set forward) the offset before the gap,
      // which moves the time forward by the gap's length.
      instant(local) {
        const before = offset(local - DAY);
        const after = offset(local + DAY);
        const early = local - before;
        const late = local - after;
        const fits = [early, late].filter((t) => t + offset(t) === local);
        return fits.length ? Math.min(...fits) : early;
      },
    };
  }

  // Formatting of local values (wall clock as UTC).
  const timeFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  const dateFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', weekday: 'short', day: 'numeric', month: 'short', year: 'numeric' });
  const shortDateFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', day: 'numeric', month: 'short', year: 'numeric' });
  const dayFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', weekday: 'short', day: 'numeric', month: 'short' });
  const monthFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', month: 'long', year: 'numeric' });
  const weekdayFormat = new Intl.DateTimeFormat(undefined, { timeZone: 'UTC', weekday: 'short' });
  const fmtTime = (local) => timeFormat.format(local);
  const fmtDate = (local) => dateFormat.format(local);
  const pad = (n, width) => String(n).padStart(width || 2, '0');
  function isoDay(local) {
    const d = new Date(local);
    return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1) + '-' + pad(d.getUTCDate());
  }
  function isoLocal(local) {
    const d = new Date(local);
    return isoDay(local) + 'T' + pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes());
  }
  function parseDay(text) {
    const m = /^(\d{4})-(\d{2})(?:-(\d{2}))?$/.exec(text || '');
    return m ? Date.UTC(Number(m[1]), Number(m[2]) - 1, m[3] ? Number(m[3]) : 1) : null;
  }
  // "yyyyMMddThhmmssZ", the format's timestamps.
  function parseStamp(text) {
    const m = /^(\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})Z$/.exec(text || '');
    return m ? Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5], +m[6]) : null;
  }
  // A timestamp of the set as a date and time in the chosen zone, the text
  // itself when it is none.
  function fmtStamp(text) {
    const at = parseStamp(text);
    if (at === null) return text;
    const local = state.zone.local(at);
    return fmtDate(local) + ' ' + fmtTime(local);
  }

  // ---- the items -------------------------------------------------------------
  const fieldsOf = (pairs) => {
    const fields = {};
    if (pairs) for (let i = 0; i + 1 < pairs.length; i += 2) if (!(pairs[i] in fields)) fields[pairs[i]] = pairs[i + 1];
    return fields;
  };
  const itemKey = (file, index) => file + '.' + index;
  const pageName = (file) => (data.pages.find((p) => p.n === file) || {}).file || 'file ' + pad(file);

  const contacts = data.contacts.map((c, i) => ({
    i, file: c[0], index: c[1], duid: c[2], puid: c[3], lastModified: c[4], idsOnly: !c[5], f: fieldsOf(c[5]),
  }));
  const appointments = [];
  const idOnlyAppointments = [];
  const unplaced = [];
  for (const a of data.appointments) {
    const item = { file: a[0], index: a[1], duid: a[2], puid: a[3], lastModified: a[4], f: fieldsOf(a[5]) };
    if (!a[5]) idOnlyAppointments.push(item);
    else if (a[10] || a[6] === null) unplaced.push(Object.assign(item, { error: a[10] }));
    else {
      Object.assign(item, { begin: a[6], end: Math.max(a[6], a[7]), period: a[8], until: a[9] });
      item.readOnly = item.f.readOnly === 'true';
      item.alarm = 'alarmReminderDelay' in item.f ? item.f.alarmReminderDelay : null;
      item.repeats = item.period === 'DAILY' || item.period === 'WEEKLY' || item.period === 'MONTHLY';
      appointments.push(item);
    }
  }
  appointments.sort((x, y) => x.begin - y.begin || x.end - y.end);
  const places = new Map();
  contacts.forEach((c, i) => places.set(itemKey(c.file, c.index), { view: 'cards', i }));
  appointments.forEach((a, i) => places.set(itemKey(a.file, a.index), { view: 'list', i }));
  idOnlyAppointments.forEach((a, i) => places.set(itemKey(a.file, a.index), { view: 'list', ids: i }));

  // ---- changes since an older set (report --since) ---------------------------
  // kind + '/' + duid → { status, fields: [[name, old, new]], puid: [old, new] | null, problem }.
  const since = data.since || null;
  const changes = new Map();
  const differences = [];
  if (since) {
    for (const [status, kind, duid, pairs, problem, puid] of since.differences) {
      const d = { status, kind, duid, problem, puid };
      if (status === 'removed') {
        d.old = fieldsOf(pairs);
      } else {
        d.fields = [];
        for (let i = 0; i + 2 < pairs.length; i += 3) d.fields.push([pairs[i], pairs[i + 1], pairs[i + 2]]);
        changes.set(kind + '/' + duid, d);
      }
      differences.push(d);
    }
  }
  const changeOf = (kind, item) => changes.get(kind + '/' + item.duid) || null;
  // ' added' or ' changed' for an appointment's chip, else ''.
  const changeClass = (a) => { const d = changeOf('appointment', a); return d && d.status !== 'unchanged' ? ' ' + d.status : ''; };
  const keyOfDuid = new Map();
  for (const c of contacts) keyOfDuid.set('contact/' + c.duid, itemKey(c.file, c.index));
  for (const a of appointments.concat(idOnlyAppointments, unplaced)) keyOfDuid.set('appointment/' + a.duid, itemKey(a.file, a.index));
  const quoted = (text) => (text === null ? '(absent)' : '"' + (text.length > 60 ? text.slice(0, 60) + '…' : text) + '"');
  // "title: "Old" → "New"", one line per element.
  function changeLines(d) {
    const lines = d.fields.map(([name, before, after]) => name + ': ' + (before === null ? 'added ' + quoted(after) : after === null ? 'removed (was ' + quoted(before) + ')' : quoted(before) + ' → ' + quoted(after)));
    if (d.puid) lines.push('puid: ' + quoted(d.puid[0]) + ' → ' + quoted(d.puid[1]));
    if (d.problem) lines.push(d.problem);
    return lines;
  }
  function changeBadge(d) {
    const badge = el('span', 'badge ' + d.status, d.status);
    if (d.fields && d.status !== 'added') badge.title = changeLines(d).join('\n');
    return badge;
  }

  // ---- virtual lists: only the rows in view are in the document ---------------
  class VirtualList {
    constructor(host, rowHeight, renderRow) {
      this.host = host;
      this.rowHeight = rowHeight;
      this.renderRow = renderRow;
      this.count = 0;
      this.target = -1;
      this.spacer = add(host, el('div', 'spacer'));
      this.shown = new Map();
      host.addEventListener('scroll', () => this.schedule(), { passive: true });
      window.addEventListener('resize', () => this.schedule());
    }
    setCount(count) {
      this.count = count;
      this.spacer.style.height = count * this.rowHeight + 'px';
      this.clear();
      this.draw();
    }
    clear() {
      for (const row of this.shown.values()) row.remove();
      this.shown.clear();
    }
    schedule() {
      if (this.pending) return;
      this.pending = true;
      requestAnimationFrame(() => { this.pending = false; this.draw(); });
    }
    draw() {
      if (this.host.offsetParent === null || this.printing) return;
      const top = this.host.scrollTop;
      const height = this.host.clientHeight || 600;
      const first = Math.max(0, Math.floor(top / this.rowHeight) - 4);
      const last = Math.min(this.count, Math.ceil((top + height) / this.rowHeight) + 4);
      for (const [index, row] of this.shown) {
        if (index < first || index >= last) { row.remove(); this.shown.delete(index); }
      }
      for (let index = first; index < last; ++index) {
        if (this.shown.has(index)) continue;
        const row = this.renderRow(index);
        row.style.top = index * this.rowHeight + 'px';
        row.style.height = this.rowHeight + 'px';
        row.classList.toggle('target', index === this.target);
        this.spacer.appendChild(row);
        this.shown.set(index, row);
      }
    }
    reveal(index) {
      this.target = index;
      this.host.scrollTop = Math.max(0, index * this.rowHeight - this.host.clientHeight / 3);
      this.clear();
      this.draw();
    }
    // Printing: the first rows in the flow of the page, the rest counted.
    print(on) {
      this.printing = on;
      this.clear();
      this.spacer.style.height = on ? 'auto' : this.count * this.rowHeight + 'px';
      if (!on) return this.draw();
      const limit = Math.min(this.count, 2000);
      for (let index = 0; index < limit; ++index) {
        const row = this.renderRow(index);
        row.style.position = 'relative';
        row.style.height = this.rowHeight + 'px';
        this.spacer.appendChild(row);
        this.shown.set(index, row);
      }
      if (this.count > limit) {
        const rest = el('p', 'muted', (this.count - limit) + ' more not printed');
        this.spacer.appendChild(rest);
        this.shown.set(-1, rest);
      }
    }
  }
  const lists = [];
  function virtualList(id, rowHeight, renderRow) {
    const list = new VirtualList($(id), rowHeight, renderRow);
    lists.push(list);
    return list;
  }
  window.addEventListener('beforeprint', () => lists.forEach((l) => l.print(true)));
  window.addEventListener('afterprint', () => lists.forEach((l) => l.print(false)));

  // ---- state -------------------------------------------------------------------
  const state = { view: null, zone: null, anchor: null };
  function setZone(name) {
    state.zone = makeZone(name);
    $('zone').value = name;
    prepareOccurrences();
  }

  // ---- summary -------------------------------------------------------------------
  function fact(label, value, mood) {
    const box = el('div', 'fact' + (mood ? ' ' + mood : ''));
    box.dataset.fact = label;
    return add(box, el('b', null, value), el('span', null, label));
  }
  function renderSummary() {
    const set = data.set;
    const pages = data.pages;
    const facts = $('facts');
    facts.replaceChildren(
      fact('pages found', pages.length + ' of ' + set.announcedPages, pages.length === set.announcedPages ? 'good' : 'bad'),
      fact('items', set.items),
      fact('problems', set.problemCount, set.problemCount ? 'bad' : 'good'),
      fact('state', set.complete ? (set.clean ? 'clean' : 'complete') : 'incomplete', set.complete ? 'good' : 'bad'),
    );
    const totals = new Map();
    for (const page of pages) {
      for (const [kind, items, withFields] of page.kinds) {
        const t = totals.get(kind) || [0, 0];
        totals.set(kind, [t[0] + items, t[1] + withFields]);
      }
    }
    const body = $('kinds').tBodies[0];
    body.replaceChildren();
    for (const [kind, [items, withFields]] of totals) {
      const row = el('tr');
      row.dataset.kind = kind;
      add(row, el('td', null, kind), el('td', 'num items', items), el('td', 'num fields', withFields), el('td', 'num ids', items - withFields));
      body.appendChild(row);
    }
    const readOnly = appointments.filter((a) => a.readOnly).length;
    $('read-only').textContent = data.appointments.length ? readOnly + ' read-only appointment' + (readOnly === 1 ? '' : 's') + ' (among those with fields).' : '';
    $('read-only').dataset.count = readOnly;
    if (data.readError) {
      $('read-error').hidden = false;
      $('read-error').textContent = data.readError + ' — the views show the items read before that.';
    }
    const header = $('header');
    header.replaceChildren();
    const first = pages[0] || {};
    const created = parseStamp(first.created);
    for (const [label, value] of [
      ['Template', data.template], ['Application', first.application], ['Created', created === null ? first.created : fmtDate(state.zone.local(created)) + ' ' + fmtTime(state.zone.local(created)) + ' (' + first.created + ')'],
      ['Export id', first.id], ['Device id', first.deviceId], ['Schema version', first.schemaVersion], ['Page size', first.pageSize], ['max', first.max], ['Total pages', first.totalPage]]) {
      add(header, el('dt', null, label), el('dd', null, value === null || value === undefined ? '(absent)' : value));
    }
    renderSince();
    $('problems-title').textContent = 'Problems (' + set.problemCount + (set.problemCount > data.problems.length ? ', first ' + data.problems.length + ' listed' : '') + ')';
  }
  function renderSince() {
    $('since').hidden = !since;
    if (!since) return;
    $('since-title').textContent = 'Changes since ' + since.template;
    $('since-refused').hidden = !since.refused;
    $('since-refused').textContent = since.refused ? 'The sets could not be compared: ' + since.refused : '';
    const body = $('since-counts').tBodies[0];
    body.replaceChildren();
    for (const [kind, ...counts] of since.counts) {
      const row = el('tr');
      row.dataset.kind = kind;
      add(row, el('td', null, kind));
      ['added', 'changed', 'unchanged', 'removed', 'problems'].forEach((name, i) => add(row, el('td', 'num count-' + name, counts[i])));
      body.appendChild(row);
    }
    $('since-counts').hidden = !since.counts.length;
    $('since-empty').hidden = !!differences.length || !!since.refused;
  }
  function itemTitle(kind, f) {
    if (kind === 'appointment') return f.title || '(no title)';
    return [f.firstName, f.lastName].filter(Boolean).join(' ') || f.company || '(no name)';
  }
  function differenceRow(index) {
    const d = differences[index];
    const row = el('div', 'row difference ' + d.status);
    row.dataset.duid = d.duid;
    row.dataset.status = d.status;
    const key = keyOfDuid.get(d.kind + '/' + d.duid);
    const place = key ? places.get(key) : null;
    const label = d.kind + ' ' + d.duid;
    const what = d.status === 'removed' ? itemTitle(d.kind, d.old)
      : d.status === 'added' ? [itemTitle(d.kind, fieldsOfKey(key))].concat(d.problem ? [d.problem] : []).join('; ')
        : changeLines(d).join('; ');
    const detail = el('span', null, what);
    detail.title = d.status === 'removed' ? Object.entries(d.old).filter(([k]) => k !== 'photo').map(([k, v]) => k + ': ' + v).join('\n') : detail.textContent;
    return add(row, changeBadge(d), place ? link(routeHref(place.view, { item: key }), label, 'item-link') : el('span', null, label), detail);
  }
  // The fields of the item at @p key in this set, for the name of an added item.
  function fieldsOfKey(key) {
    const place = key ? places.get(key) : null;
    if (!place) return {};
    if (place.view === 'cards') return contacts[place.i].f;
    return place.ids !== undefined ? idOnlyAppointments[place.ids].f : appointments[place.i].f;
  }
  function problemRow(index) {
    const [kind, file, fileName, line, column, itemName, itemIndex, duid, message] = data.problems[index];
    const row = el('div', 'row problem');
    row.dataset.kind = kind;
    const where = link(routeHref('summary', { page: file }), fileName + (line ? ':' + line + ':' + column : ''), 'page-link');
    let item = el('span', 'muted', '—');
    if (itemIndex >= 0) {
      const place = places.get(itemKey(file, itemIndex));
      const label = (itemName || 'item') + ' #' + (itemIndex + 1) + (duid ? ' ' + duid : '');
      item = place ? link(routeHref(place.view, { item: itemKey(file, itemIndex) }), label, 'item-link') : el('span', null, label);
    }
    return add(row, el('span', null, kind), where, item, el('span', null, message));
  }
  function pageState(page) {
    if (!page.opened) return 'cannot be opened';
    if (!page.rootAccepted) return 'refused';
    if (!page.wellFormed) return 'not well-formed';
    return 'ok';
  }
  function pageRow(index) {
    const page = data.pages[index];
    const row = el('div', 'row page-row');
    row.id = 'page-' + page.n;
    const kinds = page.kinds.map(([k, n, w]) => k + ' ' + n + (w < n ? ' (' + (n - w) + ' ids only)' : '')).join(', ');
    return add(row, el('span', null, page.file), el('span', null, (page.page || '?') + ' / ' + (page.totalPage || '?')),
      el('span', null, page.application || '—'), el('span', 'num', page.items), el('span', null, kinds || '—'), el('span', null, pageState(page)));
  }
  let problemList, pageList, differenceList;
  function showSummary(params) {
    renderSummary();
    if (!problemList) {
      problemList = virtualList('problems', 30, problemRow);
      pageList = virtualList('pages', 30, pageRow);
    }
    problemList.setCount(data.problems.length);
    $('problems').style.height = Math.min(data.problems.length, 12) * 30 + 2 + 'px';
    $('problems').hidden = !data.problems.length;
    if (since) {
      if (!differenceList) differenceList = virtualList('differences', 30, differenceRow);
      differenceList.setCount(differences.length);
      $('differences').style.height = Math.min(differences.length, 12) * 30 + 2 + 'px';
      $('differences').hidden = !differences.length;
    }
    pageList.setCount(data.pages.length);
    $('pages').style.height = Math.min(data.pages.length, 12) * 30 + 2 + 'px';
    if (params.has('page')) {
      const at = data.pages.findIndex((p) => String(p.n) === params.get('page'));
      if (at >= 0) { pageList.reveal(at); $('pages').scrollIntoView({ block: 'center' }); }
    }
  }

  // ---- cards ------------------------------------------------------------------------
  const phoneKinds = [['officePhone', 'Office'], ['officePhone2', 'Office 2'], ['personalMobile', 'Mobile'], ['personalHome', 'Home'], ['fax', 'Fax'], ['otherPhone', 'Other']];
  const mailKinds = [['email', 'E-mail'], ['personalEmail', 'Personal'], ['collaborationId', 'Chat']];
  const pictureTypes = [['iVBORw0KGgo', 'image/png'], ['/9j/', 'image/jpeg'], ['R0lGOD', 'image/gif'], ['UklGR', 'image/webp']];
  function photoUrl(text) {
    if (!text) return null;
    const compact = text.replace(/\s+/g, '');
    if (!/^[A-Za-z0-9+/]+=*$/.test(compact)) return null;
    const type = pictureTypes.find(([start]) => compact.startsWith(start));
    return type ? 'data:' + type[1] + ';base64,' + compact : null;
  }
  function contactName(c) {
    const name = [c.f.firstName, c.f.lastName].filter(Boolean).join(' ');
    return name || c.f.company || '(no name)';
  }
  let cardList = null;
  let shownContacts = contacts;
  let cardColumns = 1;
  function cardRow(rowIndex) {
    const row = el('div', 'card-row');
    row.style.gridTemplateColumns = 'repeat(' + cardColumns + ', minmax(0, 1fr))';
    for (let k = 0; k < cardColumns; ++k) {
      const c = shownContacts[rowIndex * cardColumns + k];
      if (c) row.appendChild(card(c));
    }
    return row;
  }
  function card(c) {
    const change = changeOf('contact', c);
    const box = el('article', 'card' + (c.idsOnly ? ' ids' : '') + (change ? ' ' + change.status : ''));
    box.dataset.duid = c.duid;
    if (change) box.dataset.change = change.status;
    box.dataset.item = itemKey(c.file, c.index);
    if (cardList && cardList.targetKey === box.dataset.item) box.classList.add('target');
    const url = photoUrl(c.f.photo);
    if (url) {
      const img = el('img', 'photo');
      img.alt = 'Photo';
      img.src = url;
      box.appendChild(img);
    } else {
      const initials = contactName(c).split(/\s+/).map((w) => w.charAt(0)).join('').slice(0, 2).toUpperCase();
      box.appendChild(el('div', 'photo', c.idsOnly ? '?' : initials));
    }
    if (c.idsOnly) {
      add(box, add(el('div', 'head'), el('div', 'name', c.duid), add(el('div', 'job'), el('span', 'badge ids', 'identifiers only'), change && changeBadge(change))));
      const dl = el('dl');
      add(dl, el('dt', null, 'puid'), el('dd', null, c.puid === null ? '(none)' : c.puid));
      add(dl, el('dt', null, 'changed'), el('dd', null, c.lastModified ? fmtStamp(c.lastModified) : '(no date)'));
      box.appendChild(dl);
    } else {
      const name = add(el('div', 'name'), change && changeBadge(change), document.createTextNode(contactName(c)));
      add(box, add(el('div', 'head'), name, el('div', 'job', [c.f.jobTitle, c.f.company].filter(Boolean).join(' · '))));
      const was = new Map(change && change.status === 'changed' ? change.fields.map(([k, before]) => [k, before]) : []);
      const dl = el('dl');
      for (const [key, label] of phoneKinds.concat(mailKinds)) {
        if (!c.f[key]) continue;
        const value = el('dd', 'field-' + key, c.f[key]);
        if (was.has(key)) {
          value.classList.add('was');
          value.title = 'was ' + quoted(was.get(key));
        }
        add(dl, el('dt', null, label), value);
      }
      box.appendChild(dl);
    }
    const foot = add(el('div', 'foot'), el('span', null, 'duid ' + c.duid));
    foot.appendChild(link(routeHref('summary', { page: c.file }), pageName(c.file) + ' #' + (c.index + 1)));
    box.appendChild(foot);
    return box;
  }
  function haystack(c) {
    if (c.hay === undefined) c.hay = [c.duid, c.puid].concat(Object.keys(c.f).filter((k) => k !== 'photo').map((k) => c.f[k])).join('\n').toLowerCase();
    return c.hay;
  }
  function filterCards() {
    const words = $('card-filter').value.toLowerCase().split(/\s+/).filter(Boolean);
    shownContacts = words.length ? contacts.filter((c) => words.every((w) => haystack(c).includes(w))) : contacts;
    const ids = contacts.filter((c) => c.idsOnly).length;
    $('card-count').textContent = shownContacts.length + ' of ' + contacts.length + ' contacts' + (ids ? ', ' + ids + ' with identifiers only' : '');
    layoutCards();
  }
  function layoutCards() {
    cardColumns = Math.max(1, Math.floor(($('cards').clientWidth - 24) / 300));
    cardList.setCount(Math.ceil(shownContacts.length / cardColumns));
  }
  function showCards(params) {
    if (!cardList) {
      cardList = virtualList('cards', 228, cardRow);
      let timer = null;
      $('card-filter').addEventListener('input', () => { clearTimeout(timer); timer = setTimeout(filterCards, 120); });
      window.addEventListener('resize', () => { if (state.view === 'cards') layoutCards(); });
      filterCards();
    } else {
      layoutCards();
    }
    const key = params.get('item');
    if (key) {
      let at = shownContacts.findIndex((c) => itemKey(c.file, c.index) === key);
      if (at < 0) { $('card-filter').value = ''; filterCards(); at = shownContacts.findIndex((c) => itemKey(c.file, c.index) === key); }
      cardList.targetKey = key;
      if (at >= 0) cardList.reveal(Math.floor(at / cardColumns));
    }
  }

  // ---- occurrences --------------------------------------------------------------------------
  // A series repeats at the wall-clock time of its first occurrence in the zone
  // shown, also across a change of the clocks; a monthly series skips months
  // without its day; the repetition ends with the day its end date falls on in
  // that zone (the writer stores local midnight of its own zone).
  const legend = 'Times are in the zone chosen above. A series repeats at the wall-clock time of its first ' +
    'occurrence in that zone, also across a change of the clocks (daily, weekly, monthly: same day of the month, ' +
    'months without that day are skipped), up to and including the day its repetition end date falls on there. ' +
    'An unknown repetition rule shows the first occurrence only. Weeks start on Monday. ' +
    'Marks: ● alarm; dashed outline: read-only' + (since ? '; green edge: added, blue edge: changed since the older set.' : '.');
  let oneTime = [];
  let series = [];
  let longest = 0;
  function prepareOccurrences() {
    const zone = state.zone;
    oneTime = [];
    series = [];
    longest = 0;
    for (const a of appointments) {
      a.localBegin = zone.local(a.begin);
      longest = Math.max(longest, a.end - a.begin);
      if (!a.repeats) { oneTime.push(a); continue; }
      a.firstDay = Math.floor(a.localBegin / DAY);
      a.timeOfDay = a.localBegin - a.firstDay * DAY;
      a.lastDay = a.until === null ? Infinity : Math.floor(zone.local(a.until) / DAY);
      series.push(a);
    }
  }
  function occurrence(a, localStart) {
    const start = state.zone.instant(localStart);
    const end = start + (a.end - a.begin);
    return { a, start: state.zone.local(start), end: state.zone.local(end) };
  }
  // Occurrences that touch the local days [fromDay, toDay), in time order.
  function occurrencesBetween(fromDay, toDay) {
    const found = [];
    const from = fromDay * DAY;
    const to = toDay * DAY;
    // One-time items by their instant, with room for the zone's offset and the longest item.
    let low = 0;
    let high = oneTime.length;
    const earliest = from - longest - 2 * DAY;
    while (low < high) { const mid = (low + high) >> 1; if (oneTime[mid].begin < earliest) low = mid + 1; else high = mid; }
    for (let i = low; i < oneTime.length && oneTime[i].begin < to + 2 * DAY; ++i) {
      const o = occurrence(oneTime[i], oneTime[i].localBegin);
      if (o.start < to && (o.end > from || o.start >= from)) found.push(o);
    }
    const spanDays = Math.ceil(longest / DAY) + 1;
    for (const a of series) {
      if (a.firstDay >= toDay) continue;
      const lastDay = Math.min(a.lastDay, toDay - 1);
      const firstWanted = fromDay - spanDays;
      const add1 = (day) => {
        const o = occurrence(a, day * DAY + a.timeOfDay);
        if (o.start < to && (o.end > from || o.start >= from)) found.push(o);
      };
      if (a.period === 'MONTHLY') {
        const first = new Date(a.localBegin);
        const dom = first.getUTCDate();
        const firstMonth = first.getUTCFullYear() * 12 + first.getUTCMonth();
        const wanted = new Date(firstWanted * DAY);
        let month = Math.max(firstMonth, wanted.getUTCFullYear() * 12 + wanted.getUTCMonth() - 1);
        for (;; ++month) {
          const year = Math.floor(month / 12);
          if (Date.UTC(year, month % 12, 1) / DAY > lastDay) break;
          const day = Date.UTC(year, month % 12, dom) / DAY;
          const exists = new Date(day * DAY).getUTCDate() === dom;
          if (exists && day >= firstWanted && day >= a.firstDay && day <= lastDay) add1(day);
        }
      } else {
        const step = a.period === 'DAILY' ? 1 : 7;
        let day = a.firstDay + Math.max(0, Math.ceil((firstWanted - a.firstDay) / step)) * step;
        for (; day <= lastDay; day += step) add1(day);
      }
    }
    found.sort((x, y) => x.start - y.start || x.end - y.end);
    return found;
  }
  function chipText(o) {
    return o.a.f.title || '(no title)';
  }
  function chip(o, day) {
    const a = o.a;
    const c = link(routeHref('list', { item: itemKey(a.file, a.index) }), null, 'chip' + (a.readOnly ? ' ro' : '') + changeClass(a));
    c.dataset.duid = a.duid;
    c.dataset.start = isoLocal(o.start);
    c.title = tooltip(o);
    const startsToday = Math.floor(o.start / DAY) === day;
    add(c, el('span', 'time' + (a.alarm !== null ? ' alarm' : ''), startsToday ? fmtTime(o.start) : '…'), document.createTextNode(chipText(o)));
    return c;
  }
  function tooltip(o) {
    const a = o.a;
    const lines = [a.f.title || '(no title)', fmtDate(o.start) + ' ' + fmtTime(o.start) + ' – ' + (isoDay(o.end) === isoDay(o.start) ? '' : fmtDate(o.end) + ' ') + fmtTime(o.end)];
    if (a.f.place) lines.push('at ' + a.f.place);
    if (a.repeats || a.f.periodicity) lines.push(repetitionText(a));
    if (a.alarm !== null) lines.push('alarm ' + a.alarm + ' before');
    if (a.readOnly) lines.push('read-only');
    const change = changeOf('appointment', a);
    if (change && change.status === 'added') lines.push('added since the older set');
    else if (change && change.status === 'changed') lines.push('changed since the older set:', ...changeLines(change));
    if (a.f.description) lines.push(a.f.description);
    lines.push('duid ' + a.duid + ', ' + pageName(a.file) + ' #' + (a.index + 1));
    return lines.join('\n');
  }
  function repetitionText(a) {
    if (!a.repeats) return a.f.periodicity ? 'unknown repetition "' + a.f.periodicity + '", shown once' : 'once';
    const word = { DAILY: 'daily', WEEKLY: 'weekly', MONTHLY: 'monthly' }[a.period];
    return word + (a.until === null ? '' : ' until ' + shortDateFormat.format(Math.floor(state.zone.local(a.until) / DAY) * DAY));
  }

  // ---- month and week ------------------------------------------------------------------------------
  function startAnchor(params) {
    const fromHash = parseDay(params.get('date'));
    if (fromHash !== null) return fromHash;
    if (state.anchor !== null) return state.anchor;
    const first = appointments.length ? appointments[0].localBegin : state.zone.local(Date.now());
    return Math.floor(first / DAY) * DAY;
  }
  const mondayOf = (day) => day - ((new Date(day * DAY).getUTCDay() + 6) % 7);
  function renderMonth() {
    const anchor = new Date(state.anchor);
    const firstOfMonth = Date.UTC(anchor.getUTCFullYear(), anchor.getUTCMonth(), 1) / DAY;
    const month = anchor.getUTCMonth();
    const fromDay = mondayOf(firstOfMonth);
    const toDay = fromDay + 42;
    $('month-title').textContent = monthFormat.format(firstOfMonth * DAY) + ' · ' + state.zone.name;
    const grid = $('month');
    grid.replaceChildren();
    for (let k = 0; k < 7; ++k) grid.appendChild(el('div', 'dow', weekdayFormat.format((fromDay + k) * DAY)));
    const byDay = new Map();
    for (const o of occurrencesBetween(fromDay, toDay)) {
      const lastDay = Math.floor((Math.max(o.end - 1, o.start)) / DAY);
      for (let day = Math.max(fromDay, Math.floor(o.start / DAY)); day <= Math.min(lastDay, toDay - 1); ++day) {
        if (!byDay.has(day)) byDay.set(day, []);
        byDay.get(day).push(o);
      }
    }
    const today = Math.floor(state.zone.local(Date.now()) / DAY);
    for (let day = fromDay; day < toDay; ++day) {
      const date = new Date(day * DAY);
      const cell = el('div', 'day' + (date.getUTCMonth() === month ? '' : ' other') + (day === today ? ' today' : ''));
      cell.dataset.date = isoDay(day * DAY);
      cell.appendChild(el('div', 'date', date.getUTCDate()));
      const items = byDay.get(day) || [];
      const room = items.length > 4 ? 3 : 4;
      items.slice(0, room).forEach((o) => cell.appendChild(chip(o, day)));
      if (items.length > room) {
        const more = link(routeHref('week', { date: isoDay(day * DAY) }), '+' + (items.length - room) + ' more', 'more');
        more.dataset.count = items.length;
        cell.appendChild(more);
      }
      cell.dataset.count = items.length;
      grid.appendChild(cell);
    }
  }
  const hourHeight = 48;
  function renderWeek() {
    const fromDay = mondayOf(Math.floor(state.anchor / DAY));
    const toDay = fromDay + 7;
    $('week-title').textContent = dayFormat.format(fromDay * DAY) + ' – ' + fmtDate((toDay - 1) * DAY) + ' · ' + state.zone.name;
    const grid = $('week');
    grid.replaceChildren(el('div', 'whead', ''));
    for (let day = fromDay; day < toDay; ++day) grid.appendChild(el('div', 'whead', dayFormat.format(day * DAY)));
    const hours = el('div', 'hours');
    for (let h = 0; h < 24; ++h) {
      const line = el('div', 'hour', pad(h) + ':00');
      line.style.top = h * hourHeight + 'px';
      hours.appendChild(line);
    }
    grid.appendChild(hours);
    const all = occurrencesBetween(fromDay, toDay);
    for (let day = fromDay; day < toDay; ++day) {
      const column = el('div', 'wday');
      column.dataset.date = isoDay(day * DAY);
      for (let h = 0; h < 24; ++h) {
        const line = el('div', 'hour');
        line.style.top = h * hourHeight + 'px';
        column.appendChild(line);
      }
      const dayStart = day * DAY;
      const pieces = all.filter((o) => o.start < dayStart + DAY && (o.end > dayStart || (o.start >= dayStart && o.start === o.end)));
      // Lanes: each piece takes the first lane free at its start.
      const lanes = [];
      const placed = pieces.map((o) => {
        const top = Math.max(o.start, dayStart) - dayStart;
        const bottom = Math.max(top + 20 * MINUTE, Math.min(o.end, dayStart + DAY) - dayStart);
        let lane = lanes.findIndex((end) => end <= top);
        if (lane < 0) { lane = lanes.length; lanes.push(0); }
        lanes[lane] = bottom;
        return { o, top, bottom, lane };
      });
      const width = 100 / Math.max(1, Math.min(lanes.length, 6));
      let hidden = 0;
      for (const p of placed) {
        if (p.lane >= 6) { ++hidden; continue; }
        const a = p.o.a;
        const box = link(routeHref('list', { item: itemKey(a.file, a.index) }), null, 'item' + (a.readOnly ? ' ro' : '') + changeClass(a));
        box.dataset.duid = a.duid;
        box.dataset.start = isoLocal(p.o.start);
        box.title = tooltip(p.o);
        box.style.top = (p.top / 3600000) * hourHeight + 'px';
        const height = Math.max(18, ((p.bottom - p.top) / 3600000) * hourHeight - 2);
        box.style.height = height + 'px';
        if (height < 40) box.classList.add('short');
        box.style.left = p.lane * width + '%';
        box.style.width = 'calc(' + width + '% - 2px)';
        const from = p.o.start >= dayStart ? fmtTime(p.o.start) : '…';
        add(box, el('span', 'time' + (a.alarm !== null ? ' alarm' : ''), from + '–' + fmtTime(p.o.end)), document.createTextNode(chipText(p.o)));
        column.appendChild(box);
      }
      if (hidden) column.appendChild(el('div', 'more', '+' + hidden + ' more in the list'));
      grid.appendChild(column);
    }
    const earliest = all.reduce((m, o) => (o.start >= fromDay * DAY ? Math.min(m, o.start % DAY) : m), 8 * 3600000);
    grid.scrollTop = Math.max(0, (earliest / 3600000 - 0.5) * hourHeight);
  }
  function step(direction) {
    const d = new Date(state.anchor);
    state.anchor = state.view === 'month' ? Date.UTC(d.getUTCFullYear(), d.getUTCMonth() + direction, 1) : state.anchor + direction * 7 * DAY;
    go(state.view, { date: isoDay(state.anchor) });
  }
  for (const button of document.querySelectorAll('.calendar-tools .prev')) button.addEventListener('click', () => step(-1));
  for (const button of document.querySelectorAll('.calendar-tools .next')) button.addEventListener('click', () => step(1));
  for (const button of document.querySelectorAll('.calendar-tools .first')) {
    button.addEventListener('click', () => { state.anchor = null; go(state.view, {}); });
  }
  for (const p of document.querySelectorAll('.calendar-legend')) p.textContent = legend;

  // ---- list --------------------------------------------------------------------------------------------
  let appointmentList = null;
  let shownAppointments = appointments;
  function appointmentRow(index) {
    const a = shownAppointments[index];
    const change = changeOf('appointment', a);
    const row = el('div', 'row appointment' + (a.readOnly ? ' ro' : ''));
    row.dataset.duid = a.duid;
    if (change) row.dataset.change = change.status;
    const start = a.localBegin;
    const end = state.zone.local(a.end);
    const when = fmtDate(start) + ' ' + fmtTime(start) + '–' + (isoDay(end) === isoDay(start) ? '' : fmtDate(end) + ' ') + fmtTime(end);
    const marks = [];
    if (a.alarm !== null) marks.push('alarm ' + a.alarm + ' before');
    if (a.readOnly) marks.push('read-only');
    const title = add(el('span'), change && changeBadge(change), document.createTextNode(a.f.title || '(no title)'));
    if (a.f.place) title.appendChild(el('span', 'muted', ' · ' + a.f.place));
    return add(row, el('span', a.alarm !== null ? 'alarm' : null, when), title, el('span', null, repetitionText(a)), el('span', null, marks.join(', ')),
      link(routeHref('summary', { page: a.file }), pageName(a.file) + ' #' + (a.index + 1)));
  }
  function idOnlyRow(list) {
    return (index) => {
      const a = list[index];
      const row = el('div', 'row');
      row.dataset.duid = a.duid;
      return add(row, el('span', null, a.duid), el('span', null, a.puid === null ? '(no puid)' : a.puid),
        el('span', null, a.error || (a.lastModified ? fmtStamp(a.lastModified) : '(no date)')), link(routeHref('summary', { page: a.file }), pageName(a.file) + ' #' + (a.index + 1)));
    };
  }
  let idList = null;
  let unplacedList = null;
  function filterAppointments() {
    const words = $('list-filter').value.toLowerCase().split(/\s+/).filter(Boolean);
    const text = (a) => (a.hay === undefined ? (a.hay = [a.duid, a.f.title, a.f.place, a.f.description].join('\n').toLowerCase()) : a.hay);
    shownAppointments = words.length ? appointments.filter((a) => words.every((w) => text(a).includes(w))) : appointments;
    $('list-count').textContent = shownAppointments.length + ' of ' + appointments.length + ' appointments with fields, ' + idOnlyAppointments.length + ' with identifiers only';
    appointmentList.setCount(shownAppointments.length);
  }
  function showList(params) {
    if (!appointmentList) {
      appointmentList = virtualList('appointments', 34, appointmentRow);
      idList = virtualList('id-only', 30, idOnlyRow(idOnlyAppointments));
      unplacedList = virtualList('unplaced', 30, idOnlyRow(unplaced));
      let timer = null;
      $('list-filter').addEventListener('input', () => { clearTimeout(timer); timer = setTimeout(filterAppointments, 120); });
    }
    filterAppointments();
    $('id-only').style.height = Math.max(1, Math.min(idOnlyAppointments.length, 10)) * 30 + 2 + 'px';
    idList.setCount(idOnlyAppointments.length);
    $('unplaced').hidden = $('unplaced-title').hidden = !unplaced.length;
    $('unplaced').style.height = Math.min(unplaced.length, 10) * 30 + 2 + 'px';
    unplacedList.setCount(unplaced.length);
    const key = params.get('item');
    const place = key ? places.get(key) : null;
    if (place && place.ids !== undefined) {
      idList.reveal(place.ids);
      $('id-only').scrollIntoView({ block: 'center' });
    } else if (place) {
      let at = shownAppointments.indexOf(appointments[place.i]);
      if (at < 0) { $('list-filter').value = ''; filterAppointments(); at = place.i; }
      appointmentList.reveal(at);
    }
  }

  // ---- views -------------------------------------------------------------------------------------------
  function go(view, params) {
    const href = routeHref(view, Object.assign({}, params, state.zone.name !== (data.zone || browserZone) ? { zone: state.zone.name } : {}));
    if (location.hash !== href) history.pushState(null, '', href);
    show();
  }
  function show() {
    const route = readRoute();
    const params = route.params;
    if (params.has('zone') && validZone(params.get('zone')) && params.get('zone') !== state.zone.name) setZone(params.get('zone'));
    const defaultView = data.appointments.length ? 'month' : data.contacts.length ? 'cards' : 'summary';
    const view = route.view || defaultView;
    state.view = view;
    for (const name of views) $('view-' + name).hidden = name !== view;
    for (const a of document.querySelectorAll('#tabs a')) a.classList.toggle('active', a.dataset.view === view);
    if (view === 'summary') showSummary(params);
    else if (view === 'cards') showCards(params);
    else if (view === 'list') showList(params);
    else {
      state.anchor = startAnchor(params);
      if (view === 'month') renderMonth(); else renderWeek();
    }
    // A directory set opened at a calendar view: say why it is empty.
    if (!data.appointments.length && (view === 'month' || view === 'week' || view === 'list')) {
      const title = { month: 'month-title', week: 'week-title', list: 'list-count' }[view];
      $(title).textContent = 'There are no appointments in this set.';
      $(title).classList.add('empty');
    }
  }

  // ---- start -----------------------------------------------------------------------------------------------
  $('title').textContent = data.title + ' — velxml report';
  document.title = data.title + ' — velxml report';
  document.querySelector('.since-legend').hidden = !since;
  for (const a of document.querySelectorAll('#tabs a')) {
    const view = a.dataset.view;
    const absent = (view === 'cards' && !data.contacts.length) || ((view === 'month' || view === 'week' || view === 'list') && !data.appointments.length);
    a.classList.toggle('absent', absent);
    a.addEventListener('click', (event) => { event.preventDefault(); go(view, {}); });
  }
  const zones = new Set(['UTC', browserZone].concat(data.zone ? [data.zone] : []).concat(Intl.supportedValuesOf ? Intl.supportedValuesOf('timeZone') : []));
  const options = $('zones');
  for (const zone of zones) { const o = el('option'); o.value = zone; options.appendChild(o); }
  const initial = readRoute().params.get('zone');
  setZone(validZone(initial) ? initial : validZone(data.zone) ? data.zone : browserZone);
  $('zone').addEventListener('change', () => {
    const name = $('zone').value.trim();
    const ok = validZone(name);
    $('zone').classList.toggle('bad', !ok);
    if (!ok) return;
    setZone(name);
    const params = readRoute().params;
    params.set('zone', name);
    params.delete('item');
    go(state.view, Object.fromEntries(params));
  });
  window.addEventListener('hashchange', show);
  show();
  // Milliseconds from the start of loading to the first view drawn.
  document.documentElement.dataset.ready = Math.round(performance.now());
})();
