// The daemon's page: reads one snapshot a second (dashboard and newest history point),
// draws the last hour, and sends Start/Stop. Every request carries the view's token as a
// bearer header; the token arrives once in the address's fragment (#token=...), which no
// server sees, and is kept for this tab only.
(function () {
  'use strict';

  var TOKEN_KEY = 'kestravon-minerd.token';
  var POLL_MS = 1000;               // one snapshot a second: the daemon's own tick
  var RETRY_MS = 3000;              // after a failed read
  var KEPT_POINTS = 3600;           // the daemon keeps one hour, one point a second
  var MIN_SPAN_SECONDS = 60;        // a chart never spans less, so a young run still reads as time
  var SERIES = [
    { name: 'passesPerSecond', colour: '#0b5cad' },
    { name: 'coinAmount', colour: '#8a4b00' },
    { name: 'fuel', colour: '#1f7a3a' },
    { name: 'experience', colour: '#6b2fa3' }
  ];

  var token = '';
  var nextSeq = null;               // sequence number of the next history point this page expects
  var points = emptyHistory();
  var charts = {};
  var pollTimer = null;
  var refusedToken = false;

  function byId(id) { return document.getElementById(id); }

  function emptyHistory() {
    var h = { seconds: [] };
    SERIES.forEach(function (s) { h[s.name] = []; });
    return h;
  }

  // The token of the fragment, kept for the tab; the fragment itself is taken out of the
  // address bar so that it is neither bookmarked nor shown on a screen.
  function takeToken() {
    var match = /^#token=([0-9a-f]{64})$/.exec(location.hash);
    if (location.hash) history.replaceState(null, '', location.pathname + location.search);
    try {
      if (match) sessionStorage.setItem(TOKEN_KEY, match[1]);
      return sessionStorage.getItem(TOKEN_KEY) || '';
    } catch (e) {
      return match ? match[1] : '';
    }
  }

  function forgetToken() {
    token = '';
    try { sessionStorage.removeItem(TOKEN_KEY); } catch (e) { /* storage off: nothing kept */ }
  }

  function setNotice(text, bad) {
    var notice = byId('notice');
    notice.textContent = text;
    notice.hidden = text === '';
    notice.classList.toggle('bad', !!bad);
  }

  function showTokenHelp(show) {
    byId('token-help').hidden = !show;
  }

  function request(path, options) {
    var init = options || {};
    init.cache = 'no-store';
    init.credentials = 'omit';
    init.headers = { Authorization: 'Bearer ' + token };
    return fetch(path, init);
  }

  function refused() {
    forgetToken();
    refusedToken = true;
    showTokenHelp(true);
    setNotice('kestravon-minerd refused this token (every start makes a new one): nothing was changed. ' +
              'Open the address it printed at its last start.', true);
  }

  function schedule(delay) {
    if (pollTimer !== null) clearTimeout(pollTimer);
    pollTimer = null;
    if (!token || document.hidden) return;
    pollTimer = setTimeout(poll, delay);
  }

  function poll() {
    pollTimer = null;
    request('/snapshot').then(function (res) {
      if (res.status === 401) { refused(); return null; }
      if (!res.ok) throw new Error('HTTP ' + res.status);
      return res.json().then(function (snapshot) {
        showDashboard(snapshot.dashboard);
        showCounters(snapshot.counters);
        return addPoint(snapshot.point);
      }).then(function () {
        if (!token) return;  // the history was refused: the notice says so
        setNotice('');
        byId('updated').textContent = 'Read at ' + new Date().toLocaleTimeString();
        schedule(POLL_MS);
      });
    }).catch(function (error) {
      setNotice('kestravon-minerd does not answer (' + error.message + '); trying again.', true);
      schedule(RETRY_MS);
    });
  }

  function setText(id, text) {
    var el = byId(id);
    if (el && el.textContent !== text) el.textContent = text;
  }

  function showDashboard(d) {
    d.fields.forEach(function (field) { setText('f-' + field.name, field.text); });
    setText('startStop', d.caption || 'Start');
    byId('autoCharge').checked = d.autoCharge.check === 1;
    d.targetCoin.forEach(function (choice) {
      var radio = byId('t-' + choice.name);
      if (radio) radio.checked = choice.checked;
    });
    showPane('pane-mining', d.panes.mining.text);
    showPane('pane-event', d.panes.event.text);
  }

  function showCounters(c) {
    setText('workerPasses', String(c.workerPasses));
    setText('miningSteps', String(c.miningSteps));
    setText('reportsSent', String(c.reportsSent));
  }

  // A pane shows its newest lines: it follows the end unless the reader scrolled up.
  function showPane(id, text) {
    var pane = byId(id);
    var shown = text.replace(/\r\n/g, '\n');
    if (pane.textContent === shown) return;
    var atEnd = pane.scrollTop + pane.clientHeight >= pane.scrollHeight - 4;
    pane.textContent = shown;
    if (atEnd) pane.scrollTop = pane.scrollHeight;
  }

  function addPoint(point) {
    if (!point) return Promise.resolve();
    if (nextSeq === null || point.seq > nextSeq) return loadHistory();
    if (point.seq === nextSeq) {
      points.seconds.push(point.second);
      SERIES.forEach(function (s) { points[s.name].push(point[s.name]); });
      nextSeq = point.seq + 1;
      trimAndDraw();
    }
    return Promise.resolve();
  }

  // The whole hour at first, and whatever was missed after a pause (a hidden tab).
  function loadHistory() {
    var path = nextSeq === null ? '/history' : '/history?since=' + nextSeq;
    return request(path).then(function (res) {
      if (res.status === 401) { refused(); return; }
      if (!res.ok) throw new Error('HTTP ' + res.status);
      return res.json().then(function (h) {
        if (nextSeq === null || h.first !== nextSeq) points = emptyHistory();
        points.seconds = points.seconds.concat(h.seconds);
        SERIES.forEach(function (s) { points[s.name] = points[s.name].concat(h[s.name]); });
        nextSeq = h.next;
        trimAndDraw();
      });
    });
  }

  function trimAndDraw() {
    var extra = points.seconds.length - KEPT_POINTS;
    if (extra > 0) {
      points.seconds.splice(0, extra);
      SERIES.forEach(function (s) { points[s.name].splice(0, extra); });
    }
    SERIES.forEach(function (s) { draw(s); });
  }

  function xRange(u, min, max) {
    if (min === null || max === null) return [min, max];
    return [Math.min(min, max - MIN_SPAN_SECONDS), max];
  }

  function draw(series) {
    var box = byId('chart-' + series.name);
    var data = [points.seconds, points[series.name]];
    var values = points[series.name];
    var newest = values.length ? values[values.length - 1] : null;
    setText('now-' + series.name, newest === null ? '' : 'now ' + newest);
    box.dataset.points = String(points.seconds.length);
    if (typeof uPlot !== 'function') return;
    var chart = charts[series.name];
    if (chart) {
      chart.setData(data);
      return;
    }
    var axis = { stroke: '#4a5361', grid: { stroke: '#e3e6ea', width: 1 }, ticks: { stroke: '#c8ced6', width: 1 } };
    charts[series.name] = new uPlot({
      width: Math.max(box.clientWidth, 200),
      height: 200,
      legend: { show: false },
      scales: { x: { time: true, range: xRange } },
      axes: [axis, Object.assign({ size: 70 }, axis)],
      series: [{}, { label: byId('c-' + series.name).textContent, stroke: series.colour, width: 1.5,
                     points: { show: false } }]
    }, data, box);
  }

  function resizeCharts() {
    Object.keys(charts).forEach(function (name) {
      var box = byId('chart-' + name);
      charts[name].setSize({ width: Math.max(box.clientWidth, 200), height: 200 });
    });
  }

  function toggleMining() {
    var button = byId('startStop');
    if (!token) {
      showTokenHelp(true);
      setNotice(refusedToken
        ? 'Start/Stop needs a token kestravon-minerd accepts: nothing was sent, nothing changed.'
        : 'Start/Stop needs the view\'s token: nothing was sent, nothing changed.', true);
      return;
    }
    button.setAttribute('aria-busy', 'true');
    request('/mining', { method: 'POST', body: '' }).then(function (res) {
      if (res.status === 401) { refused(); return; }
      if (!res.ok) throw new Error('HTTP ' + res.status);
      return res.json().then(function (reply) {
        setText('startStop', reply.caption);
        schedule(0);
      });
    }).catch(function (error) {
      setNotice('Start/Stop did not reach kestravon-minerd (' + error.message + ').', true);
    }).then(function () {
      button.removeAttribute('aria-busy');
    });
  }

  function useTypedToken(event) {
    event.preventDefault();
    var typed = byId('token-input').value.trim();
    if (!/^[0-9a-f]{64}$/.test(typed)) {
      setNotice('A token is 64 characters 0-9 and a-f, as minerd.token holds it.', true);
      return;
    }
    byId('token-input').value = '';
    try { sessionStorage.setItem(TOKEN_KEY, typed); } catch (e) { /* kept in this page only */ }
    token = typed;
    refusedToken = false;
    showTokenHelp(false);
    setNotice('');
    nextSeq = null;
    schedule(0);
  }

  function start() {
    token = takeToken();
    byId('startStop').addEventListener('click', toggleMining);
    byId('token-form').addEventListener('submit', useTypedToken);
    document.addEventListener('visibilitychange', function () { schedule(0); });
    if (typeof ResizeObserver === 'function') {
      new ResizeObserver(resizeCharts).observe(document.querySelector('.charts'));
    } else {
      window.addEventListener('resize', resizeCharts);
    }
    if (!token) {
      showTokenHelp(true);
      setNotice('No token: this page shows nothing and changes nothing without it.', true);
      return;
    }
    schedule(0);
  }

  start();
})();
