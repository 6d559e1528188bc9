// The page's functions that the machine calls. The host object is
// Module.host, set by the page (machine.js): it draws frames, hands out
// console input and answers the pause at nop.
mergeInto(LibraryManager.library, {
  // Reading: the program's console input (/dev/stdin) and the pause's
  // terminal (/dev/tty) wait for the page; a read returns at most one line,
  // as a terminal does. Every other file reads as it always does.
  fd_read__deps: ['$SYSCALLS', '$FS', '$Asyncify'],
  fd_read: function (fd, iov, iovcnt, pnum) {
    try {
      var stream = SYSCALLS.getStreamFromFD(fd);
      var path = stream.path;
      if (path !== '/dev/stdin' && path !== '/dev/tty') {
        var num = SYSCALLS.doReadv(stream, iov, iovcnt);
        HEAP32[pnum >> 2] = num;
        return 0;
      }
      var room = 0;
      for (var k = 0; k < iovcnt; k++) room += HEAP32[(iov + k * 8 + 4) >> 2];
      // What the program printed before it asks shows before the input
      // line opens, as on a terminal: the C library's buffered output first
      // (not again when the read resumes after its wait).
      if (Asyncify.state === Asyncify.State.Normal) _fflush(0);
      return Asyncify.handleSleep(function (wakeUp) {
        Module.host.read(path === '/dev/tty', room, function (bytes) {
          var done = 0;
          for (var i = 0; i < iovcnt && done < bytes.length; i++) {
            var ptr = HEAP32[(iov + i * 8) >> 2];
            var len = HEAP32[(iov + i * 8 + 4) >> 2];
            var part = bytes.subarray(done, done + len);
            HEAPU8.set(part, ptr);
            done += part.length;
          }
          HEAP32[pnum >> 2] = done;
          wakeUp(0);
        });
      });
    } catch (e) {
      if (typeof FS == 'undefined' || !(e instanceof FS.ErrnoError)) throw e;
      return e.errno;
    }
  },

  web_present: function (rgba, width, height) {
    Module.host.present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
  },

  web_frame_shown: function (count) {
    Module.host.shown(count);
  },

  web_wait_frame__deps: ['$Asyncify'],
  web_wait_frame: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      Module.host.waitFrame(function () { wakeUp(); });
    });
  },

  web_give_way__deps: ['$Asyncify'],
  web_give_way: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      Module.host.giveWay(function () { wakeUp(); });
    });
  },
});

// The window's surface lives in the machine's memory only. The browser's
// SDL would keep it in a canvas: it reads the canvas back at every lock and
// draws it at every unlock, so a text drawn between refreshes would reach a
// canvas early, and its fill paints the colour 0 as transparent, which
// clears nothing. Here a lock and an unlock only count, a fill writes the
// pixels, and the page shows the pixels at a refresh (web_present).
mergeInto(LibraryManager.library, {
  $webSurfacePixels__deps: ['$SDL', 'malloc'],
  $webSurfacePixels: function (surf) {
    var data = SDL.surfaces[surf];
    // A new surface starts black; SDL's buffer, if it made one, holds what
    // the memory held before.
    if (!data.webBlack) {
      var bytes = data.width * data.height * 4;
      if (!data.buffer) data.buffer = _malloc(bytes);
      HEAPU8.fill(0, data.buffer, data.buffer + bytes);
      data.webBlack = true;
    }
    {{{ makeSetValue('surf', C_STRUCTS.SDL_Surface.pixels, 'data.buffer', 'void*') }}};
    return data;
  },

  SDL_LockSurface__deps: ['$webSurfacePixels'],
  SDL_LockSurface: function (surf) {
    webSurfacePixels(surf).locked++;
    return 0;
  },

  SDL_UnlockSurface__deps: ['$SDL'],
  SDL_UnlockSurface: function (surf) {
    var data = SDL.surfaces[surf];
    if (data && data.locked > 0) data.locked--;
  },

  // The rectangle (the whole surface when none), cut to the surface.
  SDL_FillRect__deps: ['$SDL', '$webSurfacePixels'],
  SDL_FillRect: function (surf, rect, color) {
    var data = webSurfacePixels(surf);
    var r = rect ? SDL.loadRect(rect) : {x: 0, y: 0, w: data.width, h: data.height};
    var x0 = Math.max(r.x, 0), y0 = Math.max(r.y, 0);
    var x1 = Math.min(r.x + r.w, data.width), y1 = Math.min(r.y + r.h, data.height);
    for (var y = y0; y < y1 && x0 < x1; y++) {
      var row = (data.buffer >> 2) + y * data.width;
      HEAP32.fill(color | 0, row + x0, row + x1);
    }
    return 0;
  },
});

// The debugger's messages to the page (debugger.cpp).
mergeInto(LibraryManager.library, {
  web_dap_send: function (text, length) {
    Module.host.dapMessage(UTF8ArrayToString(HEAPU8, text, length));
  },
});
