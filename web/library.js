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
