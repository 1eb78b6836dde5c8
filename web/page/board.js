// SPDX-License-Identifier: MIT
// The board in the browser. The program sends what the board shows (each field's place and size
// in twips, its font, colours and text) over one stream of events; this page only draws it,
// scaled to its own screen, fits long names by the board's rule with its own fonts, and keeps
// the stream alive. Plain ES2017, no library: it runs on old wall tablets.
(function () {
  'use strict';

  var CANVAS_WIDTH = 12240; // twips
  var CANVAS_HEIGHT = 9300;
  var FIT_STEPS = 8; // 95 % of the size, 90 %, ... 60 %
  var ELLIPSIS = '\u2026';
  var SILENCE_MS = 35000; // the program says something every 15 s
  var RECONNECT_MS = 3000;

  // The same fields on a portrait screen: the picture under the current track, the times under
  // the picture, the next track at the bottom. Twips on a 9300 x 12240 canvas.
  var PORTRAIT_WIDTH = 9300;
  var PORTRAIT_HEIGHT = 12240;
  var PORTRAIT = {
    Label1: [240, 480, 8820, 375],
    Artist: [240, 840, 8820, 495],
    Title: [240, 1320, 8820, 495],
    Album: [240, 1800, 8820, 375],
    CDImage: [1350, 2400, 6600, 6600],
    Label3: [240, 9120, 4290, 255],
    ElapsedTime: [240, 9360, 4290, 495],
    Label4: [4770, 9120, 4290, 255],
    TotalTime: [4770, 9360, 4290, 495],
    Label2: [240, 10080, 8820, 375],
    NextArtist: [240, 10440, 8820, 495],
    NextTitle: [240, 10920, 8820, 495],
    NextAlbum: [240, 11400, 8820, 375]
  };

  // The colour settings' keys, as the page's address may override them, and what each colours.
  var COLOUR_KEYS = {
    title: ['Title'],
    cdtitle: ['Album'],
    artist: ['Artist'],
    time: ['ElapsedTime', 'TotalTime', 'Label3', 'Label4'],
    nextsong: ['NextAlbum', 'NextArtist', 'NextTitle'],
    section: ['Label1', 'Label2']
  };

  var boardBox = document.getElementById('board');
  var clockBox = document.getElementById('clock');
  var notice = document.getElementById('notice');
  var options = readOptions(window.location.search);
  var measurer = document.createElement('canvas').getContext('2d');

  var controls = {}; // by id: {data, element}
  var boardBack = '#000000';
  var haveBoard = false;
  var linkUp = false;
  var streamUp = false;
  var lastHeard = Date.now();
  var lastPlayed = Date.now();
  var idle = false;
  var stream = null;

  // What the tests and the figures read.
  var probe = window.velmoraBoard = { events: 0, changes: [], firstDrawn: 0 };

  function readOptions(search) {
    var result = { colours: {}, idle: 'off', after: 300, drift: true, driftMinutes: 3 };
    var query = search.replace(/^\?/, '').split('&');
    for (var i = 0; i < query.length; ++i) {
      if (!query[i]) continue;
      var pair = query[i].split('=');
      var key = decodeURIComponent(pair[0]).toLowerCase();
      var value = decodeURIComponent((pair[1] || '').replace(/\+/g, ' '));
      if (key === 'background' || COLOUR_KEYS.hasOwnProperty(key)) {
        var colour = /^#?([0-9a-f]{6}|[0-9a-f]{3})$/i.exec(value);
        if (colour) result.colours[key] = '#' + colour[1];
      } else if (key === 'idle' && /^(clock|dark|off)$/.test(value)) {
        result.idle = value;
      } else if (key === 'after' && /^\d+$/.test(value)) {
        result.after = Math.max(1, parseInt(value, 10));
      } else if (key === 'drift') {
        result.drift = !/^(0|off|no|false)$/i.test(value);
      } else if (key === 'driftminutes' && /^\d+(\.\d+)?$/.test(value)) {
        result.driftMinutes = Math.max(0.05, parseFloat(value));
      }
    }
    return result;
  }

  function colourOverride(name) {
    for (var key in COLOUR_KEYS) {
      if (COLOUR_KEYS[key].indexOf(name) >= 0 && options.colours[key]) return options.colours[key];
    }
    return null;
  }

  // The code points that belong to the character before them, as the board cuts names.
  function extendsCharacter(cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
      (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
      (cp >= 0xFE20 && cp <= 0xFE2F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
      (cp >= 0xE0100 && cp <= 0xE01EF) || (cp >= 0x1F3FB && cp <= 0x1F3FF) ||
      (cp >= 0x3099 && cp <= 0x309A) || cp === 0x200D;
  }

  // The characters of a text: code points with whatever extends them.
  function characters(text) {
    var result = [];
    var previous = 0;
    var points = Array.from(text);
    for (var i = 0; i < points.length; ++i) {
      var cp = points[i].codePointAt(0);
      if (result.length > 0 && (extendsCharacter(cp) || previous === 0x200D))
        result[result.length - 1] += points[i];
      else
        result.push(points[i]);
      previous = cp;
    }
    return result;
  }

  function textWidth(text, weight, pixels) {
    measurer.font = weight + ' ' + pixels + 'px Arial, "Liberation Sans", Helvetica, sans-serif';
    return measurer.measureText(text).width;
  }

  // The board's rule for a long name: smaller in 5 % steps down to 60 %, then cut with "…".
  function fitText(text, weight, pixels, width) {
    var fits = function (candidate, size) { return textWidth(candidate, weight, size) <= width; };
    if (!text || fits(text, pixels)) return { text: text, pixels: pixels };
    var size = pixels;
    for (var step = 1; step <= FIT_STEPS; ++step) {
      size = pixels * (100 - 5 * step) / 100;
      if (fits(text, size)) return { text: text, pixels: size };
    }
    var chars = characters(text);
    var cut = function (count) { return chars.slice(0, count).join('').replace(/ +$/, '') + ELLIPSIS; };
    var low = 0;
    var high = chars.length;
    while (high - low > 1) {
      var middle = low + Math.floor((high - low) / 2);
      if (fits(cut(middle), size)) low = middle; else high = middle;
    }
    return { text: cut(low), pixels: size };
  }

  function portrait() {
    return window.innerHeight > window.innerWidth;
  }

  // One control's box and font on this screen.
  function draw(entry) {
    var data = entry.data;
    var element = entry.element;
    var place = [data.left, data.top, data.width, data.height];
    var canvasWidth = CANVAS_WIDTH;
    var canvasHeight = CANVAS_HEIGHT;
    if (portrait() && PORTRAIT[data.name]) {
      place = PORTRAIT[data.name];
      canvasWidth = PORTRAIT_WIDTH;
      canvasHeight = PORTRAIT_HEIGHT;
    }
    var scaleX = window.innerWidth / canvasWidth;
    var scaleY = window.innerHeight / canvasHeight;
    var box = [place[0] * scaleX, place[1] * scaleY, place[2] * scaleX, place[3] * scaleY];
    if (canvasWidth === PORTRAIT_WIDTH && data.kind === 'picture') {
      // Upright, the picture keeps its square in the middle rather than a narrow stretch.
      var side = Math.min(box[2], box[3]);
      box = [(window.innerWidth - side) / 2, box[1] + (box[3] - side) / 2, side, side];
    }
    element.style.left = box[0] + 'px';
    element.style.top = box[1] + 'px';
    element.style.width = box[2] + 'px';
    element.style.height = box[3] + 'px';
    element.style.backgroundColor = options.colours.background || data.back;
    element.hidden = !data.visible;
    if (data.kind === 'picture') {
      var image = element.firstChild;
      if (!data.picture) {
        if (image) element.removeChild(image);
      } else if (!image || image.getAttribute('src') !== data.picture) {
        if (!image) {
          image = document.createElement('img');
          image.alt = '';
          element.appendChild(image);
        }
        image.src = data.picture;
      }
      return;
    }
    // Font sizes follow the vertical factor, as on the native board: a point is 20 twips.
    var pixels = data.size * 20 * scaleY;
    var weight = data.weight >= 600 ? 'bold' : 'normal';
    var shown = data.fit ? fitText(data.text, weight, pixels, place[2] * scaleX)
      : { text: data.text, pixels: pixels };
    element.style.fontWeight = weight;
    element.style.fontSize = shown.pixels + 'px';
    element.style.color = colourOverride(data.name) || data.fore;
    element.textContent = shown.text; // text, never markup
    element.title = shown.text === data.text ? '' : data.text;
  }

  function drawAll() {
    document.body.style.backgroundColor = options.colours.background || boardBack;
    for (var id in controls) draw(controls[id]);
    var artist = controls[byName('Artist')];
    var title = controls[byName('Title')];
    if (artist && title) document.title = artist.data.text + ' \u2013 ' + title.data.text;
  }

  function byName(name) {
    for (var id in controls) if (controls[id].data.name === name) return id;
    return null;
  }

  function take(list) {
    for (var i = 0; i < list.length; ++i) {
      var data = list[i];
      var entry = controls[data.id];
      if (!entry) {
        entry = controls[data.id] = { data: data, element: document.createElement('div') };
        entry.element.className = 'control ' + data.kind;
        entry.element.setAttribute('data-name', data.name);
        boardBox.appendChild(entry.element);
      }
      var before = entry.data;
      entry.data = data;
      if ((data.name === 'ElapsedTime' && data.text && data.text !== before.text) ||
          (data.name === 'Title' && data.text !== before.text))
        lastPlayed = Date.now();
      if (data.name === 'Title' && data.text !== before.text)
        probe.changes.push({ title: data.text, at: Date.now(), precise: performance.timeOrigin + performance.now() });
      draw(entry);
    }
  }

  function onBoard(message) {
    var data = JSON.parse(message.data);
    heard();
    controls = {};
    while (boardBox.firstChild) boardBox.removeChild(boardBox.firstChild);
    boardBack = data.back || '#000000';
    linkUp = data.link;
    haveBoard = true;
    take(data.controls);
    drawAll();
    show();
    if (!probe.firstDrawn) probe.firstDrawn = performance.now();
  }

  function onChange(message) {
    var data = JSON.parse(message.data);
    heard();
    if (data.back) boardBack = data.back;
    take(data.controls);
    if (data.back) drawAll();
    var artist = controls[byName('Artist')];
    var title = controls[byName('Title')];
    if (artist && title) document.title = artist.data.text + ' \u2013 ' + title.data.text;
    show();
  }

  function onLink(message) {
    heard();
    linkUp = JSON.parse(message.data).link;
    show();
  }

  function heard() {
    probe.events++;
    lastHeard = Date.now();
    if (!streamUp) {
      streamUp = true;
      show();
    }
  }

  // Says plainly what is wrong instead of a board that may be stale; else the board, or the clock.
  function show() {
    var message = '';
    if (!streamUp) message = haveBoard ? 'Lost the board\u2019s server \u2013 reconnecting\u2026'
      : 'Connecting to the board\u2026';
    else if (!linkUp) message = 'The jukebox is not answering.';
    notice.textContent = message;
    notice.hidden = !message;
    idle = options.idle !== 'off' && !message && Date.now() - lastPlayed >= options.after * 1000;
    boardBox.hidden = !!message || idle || !haveBoard;
    clockBox.hidden = !idle || options.idle !== 'clock';
    document.body.className = idle && options.idle === 'dark' ? 'dark' : '';
    if (!clockBox.hidden) tickClock();
  }

  function tickClock() {
    var now = new Date();
    var minutes = now.getMinutes();
    clockBox.textContent = now.getHours() + ':' + (minutes < 10 ? '0' : '') + minutes;
  }

  function connect() {
    if (stream) stream.close();
    stream = new EventSource('/events');
    lastHeard = Date.now();
    stream.addEventListener('board', onBoard);
    stream.addEventListener('change', onChange);
    stream.addEventListener('link', onLink);
    stream.addEventListener('ping', heard);
    stream.onerror = function () {
      streamUp = false;
      show();
      // A refusal (too many pages) or a server that is gone closes the stream for good: open a
      // fresh one a little later. A stream that merely dropped reconnects by itself.
      if (stream.readyState === EventSource.CLOSED) setTimeout(connect, RECONNECT_MS);
    };
  }

  // A tablet that slept may hold a stream that is long dead: one that has been silent too long
  // is replaced, and so is one found stale on waking.
  function watch() {
    if (Date.now() - lastHeard > SILENCE_MS) {
      streamUp = false;
      connect();
    }
    show();
  }

  // Burn-in: the whole board drifts a few pixels every few minutes, around a small square.
  var DRIFT = [[0, 0], [3, 1], [4, 4], [1, 3], [-2, 4], [-4, 1], [-3, -2], [0, -4], [3, -3]];
  var driftStep = 0;
  function drift() {
    driftStep = (driftStep + 1) % DRIFT.length;
    var move = 'translate(' + DRIFT[driftStep][0] + 'px,' + DRIFT[driftStep][1] + 'px)';
    boardBox.style.transform = move;
    clockBox.style.transform = move;
  }

  window.addEventListener('resize', drawAll);
  document.addEventListener('visibilitychange', function () {
    if (!document.hidden) watch();
  });
  window.addEventListener('online', connect);
  setInterval(watch, 1000);
  if (options.drift) setInterval(drift, options.driftMinutes * 60000);
  connect();
})();
