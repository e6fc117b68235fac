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

  // The window's font fit (panel/FontFit): the cell starts H high and
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

  // On a TV, read from across the room, every text fills its box instead:
  // its ink (as drawn, measured on a canvas in the very font) FILL of the
  // box's height, or of `most` when that is lower, centred in it; a text
  // wider than its box is narrowed, down to MIN_SQUEEZE of its width,
  // before it is made smaller.
  const FILL = 0.88;
  const MIN_SQUEEZE = 0.6;
  const ruler = document.createElement('canvas').getContext('2d');

  function fillBox(box, most, centred) {
    const span = box.firstElementChild;
    const W = box.clientWidth;
    const H = box.clientHeight;
    if (!span || span.textContent === '' || W === 0 || H === 0) {
      if (span) span.style.visibility = 'hidden';
      return;
    }
    const style = getComputedStyle(span);
    ruler.font = style.fontWeight + ' 100px ' + style.fontFamily;
    const m = ruler.measureText(span.textContent);
    const ink = (m.actualBoundingBoxAscent + m.actualBoundingBoxDescent) / 100;
    let size = (FILL * Math.min(H, most || H)) / (ink > 0 ? ink : 0.72);
    let squeeze = Math.min(1, (0.96 * W) / ((m.width / 100) * size));
    if (squeeze < MIN_SQUEEZE) {
      size *= squeeze / MIN_SQUEEZE;
      squeeze = MIN_SQUEEZE;
    }
    const k = size / 100;
    // Where the line box puts the baseline, and where it centres the ink.
    const baseline = (H - (m.fontBoundingBoxAscent + m.fontBoundingBoxDescent) * k) / 2 +
      m.fontBoundingBoxAscent * k;
    const wanted = (H + (m.actualBoundingBoxAscent - m.actualBoundingBoxDescent) * k) / 2;
    const width = m.width * k * squeeze;
    span.style.visibility = 'visible';
    span.style.position = 'absolute';
    span.style.fontSize = size + 'px';
    span.style.height = H + 'px';
    span.style.lineHeight = H + 'px';
    span.style.top = '0px';
    span.style.left = (centred ? (W - width) / 2 : 0) + 'px';
    span.style.transformOrigin = '0 0';
    span.style.transform = 'translateY(' + (wanted - baseline) + 'px) scaleX(' + squeeze + ')';
  }

  const tv = document.body.classList.contains('tv');

  // A value display: the window's font fit, or on a TV its box filled.
  function fitValue(vd) {
    if (tv) fillBox(vd, 0, true);
    else fit(vd);
  }

  function show(vd, text, fg, bg, n) {
    const span = vd.firstElementChild;
    vd.dataset.fg = fg;
    vd.dataset.bg = bg;
    vd.dataset.n = String(n);
    span.textContent = text;
    vd.style.backgroundColor = bg;
    colour(span, fg, bg);
    fitValue(vd);
  }

  function setText(id, text) {
    const el = document.getElementById(id);
    if (el) el.textContent = text;
  }

  function classed(id, text, cls) {
    const el = document.getElementById(id);
    if (!el) return;
    el.textContent = text;
    el.className = cls;
  }

  // An overview that lost brenna-web: said in the bar, the rest dimmed.
  function overviewLost(text) {
    document.getElementById('link').textContent = text;
    document.body.classList.add('lost');
  }

  // How long the live connection may be gone before the page says so: a
  // brenna-web restarted, or a network that faltered for a moment, is back
  // well within it, and the values it shows meanwhile are still the latest.
  const GRACE_MS = 10000;

  // Follows brenna-web's live updates (/events): every state goes to
  // page.apply; a loss that outlasts the grace period, or a refusal, to
  // page.lost(what the bar says, what the panel's banner says, its detail).
  function follow(page) {
    let source = null;
    let watchdog = 0;
    let grace = 0;

    // Without word from brenna-web, what the page shows may be old.
    function lost(text) {
      page.lost(text, '与网页服务的连接中断', '显示的数值可能已经过时；正在重新连接');
    }

    // A break that outlasts the grace period is a loss.
    function faltered(text) {
      if (!grace) {
        grace = setTimeout(function () {
          grace = 0;
          lost(text);
        }, GRACE_MS);
      }
    }

    function alive() {
      clearTimeout(watchdog);
      watchdog = setTimeout(function () {
        source.close();
        lost('30 秒没有收到网页服务的消息，正在重新连接…');
        connect();
      }, 30000);
    }

    function refused() {
      function busy() {
        lost('实时连接暂不可用，10 秒后重试');
      }
      fetch('/', {method: 'HEAD', cache: 'no-store', credentials: 'same-origin'}).then(
        function (r) {
          if (r.status !== 403) return busy();
          page.lost(
            '这个浏览器已不能访问：请向管理员索取新的配对链接',
            '需要新的配对链接',
            '显示的数值可能已经过时；请用管理员给出的新配对链接打开本页');
        },
        busy);
    }

    function connect() {
      source = new EventSource('/events');
      source.addEventListener('state', function (e) {
        alive();
        clearTimeout(grace);
        grace = 0;
        page.apply(JSON.parse(e.data));
      });
      source.addEventListener('ping', alive);
      // brenna-web ends a live connection now and then and says so first:
      // the page comes again at once, and nothing it shows is out of date.
      source.addEventListener('again', function () {
        source.close();
        connect();
      });
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
          faltered('与网页服务的连接中断，正在重新连接…');
        }
      };
      alive();
    }
    connect();
  }

  // The live panel (and the TV's): the line's state onto the displays.
  function livePanel(panel) {
    const link = document.getElementById('link'); // none on a TV
    function say(text) {
      if (link) link.textContent = text;
    }
    return {
      apply: function (state) {
        const name = (state.line && state.line.name) || '';
        document.title = name ? name + ' · ' + state.title : state.title;
        setText('title', state.title);
        setText('line-name', name);
        setText('state-head', state.head);
        setText('state-detail', state.detail);
        setText('banner-head', state.head);
        setText('banner-detail', state.detail);
        document.getElementById('state').className = state.running ? 'up' : 'down';
        panel.classList.toggle('down', !state.running);
        // Idle: when the line last showed a result, over the values
        // dimmed, but for the idle look, which keeps its colour.
        panel.classList.toggle('idle', !!state.idle);
        setText('idle-head', state.idle ? state.idle.head : '');
        setText('idle-detail', state.idle ? state.idle.detail : '');
        const keep = new Set(state.keep || []);
        for (const d of state.d) {
          const vd = document.getElementById('d' + d[0]);
          if (!vd) continue;
          vd.classList.toggle('keep', keep.has(d[0]));
          show(vd, d[1], d[2], d[3], d[4]);
        }
        // On a TV, whose car each group shows.
        ((state.line && state.line.groups) || []).forEach(function (g, i) {
          const key = document.getElementById('vk' + i + '-key');
          if (!key || key.textContent === (g.k || '')) return;
          key.textContent = g.k || '';
          fillBox(key.parentElement, valueHeight(panel), true);
        });
        say('');
      },
      lost: function (text, head, detail) {
        say(text);
        panel.classList.add('down');
        setText('banner-head', head);
        setText('banner-detail', detail);
      },
    };
  }

  // A site's overview: each line's card from the overview's state.
  function siteOverview() {
    const link = document.getElementById('link');
    return {
      apply: function (state) {
        link.textContent = '';
        document.body.classList.remove('lost');
        state.lines.forEach(function (l, i) {
          const p = 'L' + i;
          const card = document.getElementById(p);
          if (!card) return;
          card.className = l.card;
          setText(p + '-name', l.name);
          setText(p + '-title', l.title);
          classed(p + '-state', l.state, l.stateClass);
          setText(p + '-detail', l.detail);
          setText(p + '-last', l.last);
          setText(p + '-idle', l.idle);
          setText(p + '-today', l.today);
          l.groups.forEach(function (g, k) {
            const row = p + '-g' + k;
            setText(row + '-op', g.op);
            setText(row + '-t', g.t);
            classed(row + '-v', g.v, g.vc);
          });
        });
      },
      lost: overviewLost,
    };
  }

  // The company's overview: each line's row from the overview's state; a
  // line enrolled or taken away since the page was made, or the first read
  // of the database, makes it anew.
  function companyOverview() {
    const link = document.getElementById('link');
    const table = document.getElementById('lines');
    return {
      apply: function (state) {
        link.textContent = '';
        if (state.db.ok && state.keys !== table.dataset.keys) {
          location.reload();
          return;
        }
        document.body.classList.toggle('lost', !state.db.ok);
        setText('db-head', state.db.head);
        setText('db-detail', state.db.detail);
        state.lines.forEach(function (l, i) {
          const p = 'L' + i;
          const row = document.getElementById(p);
          if (!row) return;
          row.className = l.row;
          classed(p + '-state', l.state, l.sc);
          setText(p + '-detail', l.detail);
          setText(p + '-latest', l.latest);
          classed(p + '-v', l.v, l.vc);
          setText(p + '-today', l.today);
          setText(p + '-vetoes', l.vetoes);
          setText(p + '-shipped', l.shipped);
        });
      },
      lost: overviewLost,
    };
  }

  // The height of a value display: the TV's labels, captions and vehicle
  // keys are read as large as the values.
  function valueHeight(panel) {
    const value = panel.querySelector('.vd');
    return value ? value.clientHeight : 0;
  }

  function fitTv(panel) {
    const most = valueHeight(panel);
    for (const lb of panel.querySelectorAll('.lb')) fillBox(lb, most, lb.classList.contains('centre'));
    for (const cap of panel.querySelectorAll('.tvcap')) fillBox(cap, most, false);
    for (const key of panel.querySelectorAll('.veh')) fillBox(key, most, true);
  }

  // No pointer on a TV: it goes after a few seconds without moving.
  function hidePointer() {
    let still = 0;
    function moved() {
      document.body.classList.remove('still');
      clearTimeout(still);
      still = setTimeout(function () {
        document.body.classList.add('still');
      }, 3000);
    }
    document.addEventListener('mousemove', moved);
    moved();
  }

  // The list of today's results follows the line: when the live feed says
  // something changed, only the results after the newest row are asked for
  // (the same filters, after=ID) and their rows put on top, with the day's
  // count line; one fetch at a time. A list without rows yet, or more new
  // results than one page holds, is made anew. The form above it stays as
  // the user left it.
  function followList() {
    let busy = false;
    let again = false;
    let first = true;
    function newest() {
      const row = document.querySelector('#list table.results tbody tr');
      return row ? row.dataset.id : '';
    }
    function add(fresh, id) {
      const list = document.getElementById('list');
      const body = list && list.querySelector('table.results tbody');
      const rows = fresh.querySelectorAll('table.results tbody tr');
      if (!id || !body || fresh.querySelector('a[href*="before="]')) {
        if (list) list.replaceWith(document.adoptNode(fresh));
        paint(fresh);
        return;
      }
      for (let i = rows.length - 1; i >= 0; --i) {
        const row = document.adoptNode(rows[i]);
        paint(row);
        body.insertBefore(row, body.firstElementChild);
      }
      const count = fresh.querySelector('#count');
      if (rows.length > 0 && count) setText('count', count.textContent);
    }
    function refresh() {
      if (busy) {
        again = true;
        return;
      }
      busy = true;
      const id = newest();
      const url = new URL(location.href);
      if (id) url.searchParams.set('after', id);
      fetch(url, {cache: 'no-store', credentials: 'same-origin'})
        .then(function (r) {
          return r.ok ? r.text() : null;
        })
        .then(function (html) {
          const fresh = html && new DOMParser().parseFromString(html, 'text/html').getElementById('list');
          if (fresh && newest() === id) add(fresh, id);
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
        for (const vd of panel.querySelectorAll('.vd')) fitValue(vd);
        if (tv) fitTv(panel);
      }).observe(panel);
    }
    if (tv) hidePointer();
    const live = document.getElementById('panel');
    if (document.body.classList.contains('live') && live) follow(livePanel(live));
    if (document.body.classList.contains('site')) follow(siteOverview());
    if (document.body.classList.contains('company')) follow(companyOverview());
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
