// Runs inside KWin (loaded by lorvane-tap through org.kde.kwin.Scripting): reports every
// window KWin manages, as one JSON text, to the helper that loaded it. It only reports; the
// helper decides what is visible and in which order. Written for KWin 5.27 (clientList,
// per-window stackingOrder, desktop numbers) and KWin 6 (windowList, workspace.stackingOrder,
// desktop objects).
(function () {
  var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
  var stack = workspace.stackingOrder; // KWin 6: bottom first
  var current = workspace.currentDesktop;

  function idOf(w) {
    return String(w.internalId);
  }

  function stackingOf(w) {
    if (!stack) return typeof w.stackingOrder === "number" ? w.stackingOrder : -1;
    for (var i = 0; i < stack.length; ++i) {
      if (idOf(stack[i]) === idOf(w)) return i;
    }
    return -1;
  }

  function onCurrentDesktop(w) {
    if (w.onAllDesktops) return true;
    if (w.desktops !== undefined && typeof current === "object") {
      for (var i = 0; i < w.desktops.length; ++i) {
        if (w.desktops[i] === current || w.desktops[i].id === current.id) return true;
      }
      return false;
    }
    return w.desktop === current;
  }

  var report = [];
  for (var i = 0; i < windows.length; ++i) {
    var w = windows[i];
    var g = w.frameGeometry;
    report.push({
      internalId: idOf(w),
      pid: w.pid,
      caption: String(w.caption),
      resourceClass: String(w.resourceClass),
      desktopFileName: String(w.desktopFileName || ""),
      x: g.x,
      y: g.y,
      width: g.width,
      height: g.height,
      active: !!w.active,
      minimized: !!w.minimized,
      stacking: stackingOf(w),
      onCurrentDesktop: onCurrentDesktop(w),
      normal: !!w.normalWindow,
      dialog: !!w.dialog,
      special: !!w.specialWindow,
      desktop: !!w.desktopWindow,
      dock: !!w.dock,
      deleted: !!w.deleted
    });
  }
  callDBus("@SERVICE@", "@PATH@", "@INTERFACE@", "Windows", JSON.stringify(report));
})();
