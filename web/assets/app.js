// The web view's page script (brenna-web, docs/web-view.md). It colours the
// values and fits their fonts as the window's value displays do, and on the
// live panel follows /events. Values are only ever set as text
// (textContent): nothing from a station becomes markup.
'use strict';
(function () {
  // A value display's font cell is its height h; Arial's em is h / 1.117.
  const CELL_PER_EM = 1.117;

  function colour(el, fg, bg) {
    el.style.color = fg;
    el.style.backgroundColor = bg;
  }

  // The window's font fit (presentation/FontFit): the cell starts H high and
  // H / 2 wide and gives up 2 in height and 1 in width until the text's
  // n cells (GBK bytes) fit in W; the text starts at x = W/2 - (w*n)/2,
  // y = H/2 - w. All divisions truncate.
  function fit(vd) {
    const span = vd.firstElementChild;
    const n = Number(vd.dataset.n) || 0;
    const W = vd.clientWidth;
    const H = vd.clientHeight;
    const start = Math.floor(H / 2);
    const w = n > 0 ? Math.max(0, Math.min(start, Math.floor((2 * Math.floor(W / 2) + 1) / n))) : 0;
    if (w === 0 || span.textContent === '') {
      span.style.visibility = 'hidden';
      return;
    }
    const h = H - 2 * (start - w);
    span.style.visibility = 'visible';
    span.style.transform = 'none';
    span.style.left = Math.floor(W / 2) - Math.floor((w * n) / 2) + 'px';
    span.style.top = Math.floor(H / 2) - w + 'px';
    span.style.height = h + 'px';
    span.style.lineHeight = h + 'px';
    span.style.fontSize = h / CELL_PER_EM + 'px';
    const natural = span.getBoundingClientRect().width;
    if (natural > 0) span.style.transform = 'scaleX(' + (w * n) / natural + ')';
  }

  function show(vd, text, fg, bg, n) {
    const span = vd.firstElementChild;
    vd.dataset.fg = fg;
    vd.dataset.bg = bg;
    vd.dataset.n = String(n);
    span.textContent = text;
    vd.style.backgroundColor = bg;
    colour(span, fg, bg);
    fit(vd);
  }

  function setText(id, text) {
    const el = document.getElementById(id);
    if (el) el.textContent = text;
  }

  function follow(panel) {
    const link = document.getElementById('link');
    let source = null;
    let watchdog = 0;

    // Without word from brenna-web, what the panel shows may be old.
    function lost(text) {
      link.textContent = text;
      panel.classList.add('down');
      setText('banner-head', '与网页服务的连接中断');
      setText('banner-detail', '显示的数值可能已经过时；正在重新连接');
    }

    function alive() {
      clearTimeout(watchdog);
      watchdog = setTimeout(function () {
        source.close();
        lost('30 秒没有收到网页服务的消息，正在重新连接…');
        connect();
      }, 30000);
    }

    function apply(state) {
      document.title = state.title;
      setText('title', state.title);
      setText('state-head', state.head);
      setText('state-detail', state.detail);
      setText('banner-head', state.head);
      setText('banner-detail', state.detail);
      document.getElementById('state').className = state.running ? 'up' : 'down';
      panel.classList.toggle('down', !state.running);
      for (const d of state.d) {
        const vd = document.getElementById('d' + d[0]);
        if (vd) show(vd, d[1], d[2], d[3], d[4]);
      }
      link.textContent = '';
    }

    function refused() {
      function busy() {
        lost('实时连接暂不可用，10 秒后重试');
      }
      fetch('/', {method: 'HEAD', cache: 'no-store', credentials: 'same-origin'}).then(
        function (r) {
          if (r.status !== 403) return busy();
          lost('这个浏览器已不能访问：请向管理员索取新的配对链接');
          setText('banner-head', '需要新的配对链接');
          setText('banner-detail', '显示的数值可能已经过时；请用管理员给出的新配对链接打开本页');
        },
        busy);
    }

    function connect() {
      source = new EventSource('/events');
      source.addEventListener('state', function (e) {
        alive();
        apply(JSON.parse(e.data));
      });
      source.addEventListener('ping', alive);
      source.onerror = function () {
        if (source.readyState === EventSource.CLOSED) {
          // Refused: the live pages are at their limit (try again later),
          // or this browser is no longer let in (its pairing has ended: only
          // a new link helps). The event stream does not say which; the
          // page itself does.
          clearTimeout(watchdog);
          refused();
          setTimeout(connect, 10000);
        } else {
          lost('与网页服务的连接中断，正在重新连接…');
        }
      };
      alive();
    }
    connect();
  }

  // The list of today's results follows the line: each change the live
  // feed announces (a result shown) makes the list anew from the server,
  // one fetch at a time; the form above it stays as the user left it.
  function followList() {
    let busy = false;
    let again = false;
    let first = true;
    function refresh() {
      if (busy) {
        again = true;
        return;
      }
      busy = true;
      fetch(location.href, {cache: 'no-store', credentials: 'same-origin'})
        .then(function (r) {
          return r.ok ? r.text() : null;
        })
        .then(function (html) {
          const fresh = html && new DOMParser().parseFromString(html, 'text/html').getElementById('list');
          const list = document.getElementById('list');
          if (fresh && list) {
            list.replaceWith(document.adoptNode(fresh));
            paint(fresh);
          }
        })
        .catch(function () {})
        .finally(function () {
          busy = false;
          if (again) {
            again = false;
            refresh();
          }
        });
    }
    const source = new EventSource('/events');
    source.addEventListener('state', function () {
      if (first) {
        first = false;
        document.body.dataset.following = 'yes';
      } else {
        refresh();
      }
    });
  }

  function paint(root) {
    for (const el of root.querySelectorAll('.val')) colour(el, el.dataset.fg, el.dataset.bg);
    // A verdict's mark: its colour, and the text that reads on it.
    for (const el of root.querySelectorAll('.badge')) {
      const c = el.dataset.bg;
      const light =
        0.299 * parseInt(c.substr(1, 2), 16) + 0.587 * parseInt(c.substr(3, 2), 16) +
          0.114 * parseInt(c.substr(5, 2), 16) > 128;
      el.style.backgroundColor = c;
      el.style.color = light ? '#000' : '#fff';
    }
  }

  function start() {
    for (const vd of document.querySelectorAll('.vd')) {
      vd.style.backgroundColor = vd.dataset.bg;
      colour(vd.firstElementChild, vd.dataset.fg, vd.dataset.bg);
    }
    paint(document);
    if (document.body.classList.contains('follow')) followList();
    const print = document.getElementById('print');
    if (print) print.addEventListener('click', function () { window.print(); });
    for (const panel of document.querySelectorAll('.panel')) {
      new ResizeObserver(function () {
        for (const vd of panel.querySelectorAll('.vd')) fit(vd);
      }).observe(panel);
    }
    const live = document.getElementById('panel');
    if (document.body.classList.contains('live') && live) follow(live);
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
