// gjs capture.js TITLE: times the extension's CaptureWindow alone (median of 5) for the window
// with that title, writing into a memory file as the helper does.
const {Gio, GLib} = imports.gi;
const bus = Gio.DBus.session;
const call = (method, args, fds) => bus.call_with_unix_fd_list_sync('org.gnome.Shell',
    '/org/example/LorvaneTap/Windows', 'org.example.LorvaneTap.Windows', method, args, null, 0,
    5000, fds ?? null, null);
const [answer] = call('ListWindows', null);
const window = JSON.parse(answer.deepUnpack()[0]).find(w => w.title === ARGV[0]);
const times = [];
let size = [];
for (let i = 0; i < 5; i++) {
    const fds = new Gio.UnixFDList();
    const file = Gio.File.new_tmp(null)[0];
    const out = file.replace(null, false, 0, null);
    fds.append(out.get_fd());
    const start = GLib.get_monotonic_time();
    const [reply] = call('CaptureWindow', new GLib.Variant('(uh)', [window.id, 0]), fds);
    times.push((GLib.get_monotonic_time() - start) / 1000);
    size = reply.deepUnpack();
    file.delete(null);
}
times.sort((a, b) => a - b);
print(`${size[0]}x${size[1]} ${times[2].toFixed(1)}`);
