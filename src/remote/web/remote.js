// The station's web remote: signs in with the PIN, shows the current and the
// next line and the line list as the station pushes them, and sends the
// operator's taps as commands. Only textContent is ever set from the
// station's data: line texts are never markup.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  const show = $('show');
  const pinForm = $('pin-form');
  const pinInput = $('pin');
  const pinError = $('pin-error');
  const linkBox = $('link');
  const linkText = $('link-text');
  const list = $('lines');

  const fromHash = new URLSearchParams(location.hash.slice(1)).get('pin');
  let pin = fromHash || sessionStorage.getItem('station-pin') || '';
  let socket = null;
  let signedIn = false;
  let retryMs = 500;
  let state = null;
  let messageTimer = 0;

  function setLink(kind, text) {
    linkBox.dataset.state = kind;
    linkText.textContent = text;
  }

  function say(text) {
    const box = $('message');
    box.textContent = text;
    box.hidden = false;
    clearTimeout(messageTimer);
    messageTimer = setTimeout(() => { box.hidden = true; }, 3000);
  }

  function askPin(error) {
    signedIn = false;
    show.hidden = true;
    pinForm.hidden = false;
    pinError.textContent = error || '';
    pinInput.value = '';
    pinInput.focus();
  }

  function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(JSON.stringify(message));
      return true;
    }
    say('与字幕机的连接已断开');
    return false;
  }

  function command(name, extra) {
    if (signedIn) {
      send(Object.assign({ type: 'command', command: name }, extra || {}));
    }
  }

  function renderLines(lines) {
    list.replaceChildren();
    lines.forEach((text, i) => {
      const item = document.createElement('li');
      item.dataset.line = String(i + 1);
      const n = document.createElement('span');
      n.className = 'n';
      n.textContent = String(i + 1);
      const t = document.createElement('span');
      t.className = 't';
      t.textContent = text;
      if (text === '') item.classList.add('empty');
      item.append(n, t);
      list.append(item);
    });
  }

  function render(next) {
    if (Array.isArray(next.lines)) renderLines(next.lines);
    state = next;
    $('entry').textContent = next.entry ? next.entry + '. ' + next.entryName : '（未选择文件）';
    $('position').textContent = next.line ? '第 ' + next.line + ' / ' + next.lineCount + ' 行'
                                          : (next.lineCount ? '共 ' + next.lineCount + ' 行，未选择' : '');
    $('current').textContent = next.text;
    const last = next.line > 0 && next.line === next.lineCount;
    $('next').textContent = last ? '（最后一行）' : next.next;
    $('next').classList.toggle('end', last);
    if (next.connected) {
      setLink('live', '已连接屏幕');
    } else {
      setLink('idle', '字幕机未连接屏幕');
    }
    const previous = list.querySelector('li.current');
    if (previous) previous.classList.remove('current');
    const current = next.line ? list.children[next.line - 1] : null;
    if (current) {
      current.classList.add('current');
      current.scrollIntoView({ block: 'center' });
    }
  }

  function onMessage(event) {
    let message;
    try {
      message = JSON.parse(event.data);
    } catch (e) {
      return;
    }
    switch (message.type) {
      case 'auth':
        if (message.ok) {
          signedIn = true;
          sessionStorage.setItem('station-pin', pin);
          pinForm.hidden = true;
          show.hidden = false;
        } else {
          sessionStorage.removeItem('station-pin');
          pin = '';
          askPin(message.reason || 'PIN 不正确');
        }
        break;
      case 'state':
        render(message);
        break;
      case 'result':
        if (!message.ok) say(message.reason);
        break;
      case 'error':
        say(message.reason);
        break;
    }
  }

  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws');
    socket.addEventListener('open', () => {
      retryMs = 500;
      setLink('idle', '已连接字幕机');
      if (pin) {
        send({ type: 'auth', pin: pin });
      } else {
        askPin('');
      }
    });
    socket.addEventListener('message', onMessage);
    socket.addEventListener('close', () => {
      signedIn = false;
      setLink('offline', '与字幕机的连接已断开，正在重连…');
      setTimeout(connect, retryMs);
      retryMs = Math.min(retryMs * 2, 5000);
    });
  }

  pinForm.addEventListener('submit', (event) => {
    event.preventDefault();
    pin = pinInput.value.trim();
    pinError.textContent = '';
    if (!send({ type: 'auth', pin: pin })) {
      pinError.textContent = '与字幕机的连接已断开，正在重连…';
    }
  });
  $('step').addEventListener('click', () => command('next'));
  $('prev').addEventListener('click', () => command('prev'));
  $('clear').addEventListener('click', () => command('clear'));
  list.addEventListener('click', (event) => {
    const item = event.target.closest('li');
    if (item) command('go', { number: Number(item.dataset.line) });
  });

  if (fromHash) history.replaceState(null, '', location.pathname);
  // The PIN form stays hidden (as the page comes) until the station answers:
  // what is typed before then would be wiped when the socket opens.
  connect();
})();
