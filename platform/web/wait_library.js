// The loop's wait for the page (linked with --js-library): the program
// sleeps until the page queues an event or `ms` have passed, whichever is
// first, with nothing to do meanwhile.
mergeInto(LibraryManager.library, {
  web_wait_event__deps: ['$Asyncify'],
  web_wait_event: function (ms) {
    Asyncify.handleSleep(function (wakeUp) {
      Module.host.waitEvent(ms, wakeUp);
    });
  },
});
