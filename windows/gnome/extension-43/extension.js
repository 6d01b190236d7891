// lorvane-tap window access, for GNOME Shell 43 and 44 (legacy imports).
//
// Exports one read-only D-Bus object on the shell's session-bus connection so that the
// lorvane-tap helper can list the windows and read one window's image, which GNOME gives
// only to the shell itself. The interface is in org.example.LorvaneTap.Windows.xml, shared
// with the GNOME 45+ variant; keep the two extension.js files doing the same.
'use strict';

const {Gio, GLib, Meta, Shell} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;

const OBJECT_PATH = '/org/example/LorvaneTap/Windows';
const INTERFACE_FILE = 'org.example.LorvaneTap.Windows.xml';
const FAILED = 'org.example.LorvaneTap.Windows.Error.Failed';

// Meta.WindowType values by their lower-case names ("normal", "modal_dialog", ...).
const TYPE_NAMES = new Map(Object.entries(Meta.WindowType)
    .filter(([, value]) => typeof value === 'number')
    .map(([name, value]) => [value, name.toLowerCase()]));

// The windows a user sees on the active workspace, front-most first.
function shownWindows() {
    const workspace = global.workspace_manager.get_active_workspace();
    const windows = global.get_window_actors()
        .map(actor => actor.meta_window)
        .filter(w => w && !w.minimized && w.showing_on_its_workspace() &&
            w.located_on_workspace(workspace));
    return global.display.sort_windows_by_stacking(windows).reverse();
}

// What the window's client draws as the window: without the decorations the shell draws
// around an X11 window, and without the shadows a client draws around its own.
function contentRect(window) {
    const frame = window.get_frame_rect();
    const client = window.frame_rect_to_client_rect(frame);
    const x = Math.max(frame.x, client.x);
    const y = Math.max(frame.y, client.y);
    return {
        x, y,
        width: Math.max(0, Math.min(frame.x + frame.width, client.x + client.width) - x),
        height: Math.max(0, Math.min(frame.y + frame.height, client.y + client.height) - y),
    };
}

function describe(window, tracker) {
    const app = tracker.get_window_app(window);
    const known = app && !app.is_window_backed();
    const area = contentRect(window);
    return {
        id: window.get_stable_sequence(),
        pid: Math.max(window.get_pid(), 0),
        title: window.get_title() ?? '',
        class: window.get_wm_class() ?? '',
        appId: known ? app.get_id() ?? '' : '',
        app: known ? app.get_name() ?? '' : '',
        type: TYPE_NAMES.get(window.get_window_type()) ?? '',
        x11: window.get_client_type() === Meta.WindowClientType.X11,
        focus: window.has_focus(),
        x: area.x,
        y: area.y,
        width: area.width,
        height: area.height,
        scale: window.get_compositor_private()?.get_resource_scale() ?? 1,
    };
}

// The content of the window written to `stream` as rows of 8-bit RGBA (or RGB) pixels;
// [width, height, stride, channels], all 0 when the window is not shown. The actor is painted
// off screen, so covered parts are included.
function capture(id, stream) {
    const window = shownWindows().find(w => w.get_stable_sequence() === id);
    const actor = window?.get_compositor_private();
    const content = actor?.paint_to_content(null);
    if (!content)
        return Promise.resolve([0, 0, 0, 0]);
    const texture = content.get_texture();
    // The texture holds the whole actor (shadows and the shell's frame included) at the
    // actor's resource scale; the content is cut out of it.
    const scale = actor.get_resource_scale();
    const [actorX, actorY] = actor.get_position();
    const area = contentRect(window);
    const x = Math.max(0, Math.round((area.x - actorX) * scale));
    const y = Math.max(0, Math.round((area.y - actorY) * scale));
    const width = Math.min(Math.round(area.width * scale), texture.get_width() - x);
    const height = Math.min(Math.round(area.height * scale), texture.get_height() - y);
    if (width <= 0 || height <= 0)
        return Promise.resolve([0, 0, 0, 0]);
    // The shell's own way from a texture to pixels also encodes a PNG, which is dropped: the
    // helper takes the pixels as they are and needs no image library.
    const png = Gio.MemoryOutputStream.new_resizable();
    return new Promise((resolve, reject) => {
        Shell.Screenshot.composite_to_stream(texture, x, y, width, height, scale,
            null, 0, 0, 1, png, (_source, result) => {
                try {
                    const pixbuf = Shell.Screenshot.composite_to_stream_finish(result);
                    stream.write_all(pixbuf.read_pixel_bytes().toArray(), null);
                    resolve([pixbuf.get_width(), pixbuf.get_height(), pixbuf.get_rowstride(),
                        pixbuf.get_n_channels()]);
                } catch (e) {
                    reject(e);
                }
            });
    });
}

class WindowAccess {
    GetVersion() {
        return 1;
    }

    ListWindows() {
        const tracker = Shell.WindowTracker.get_default();
        return JSON.stringify(shownWindows().map(w => describe(w, tracker)));
    }

    CaptureWindowAsync([id, fdIndex], invocation, fdList) {
        let stream;
        try {
            stream = new Gio.UnixOutputStream({fd: fdList.get(fdIndex), close_fd: true});
        } catch (e) {
            invocation.return_dbus_error(FAILED, `no file descriptor passed: ${e.message}`);
            return;
        }
        capture(id, stream).then(size => {
            stream.close(null);
            invocation.return_value(new GLib.Variant('(iiii)', size));
        }).catch(e => {
            stream.close(null);
            invocation.return_dbus_error(FAILED, `capture of window ${id}: ${e.message}`);
        });
    }
}

class Extension {
    enable() {
        const file = ExtensionUtils.getCurrentExtension().dir.get_child(INTERFACE_FILE);
        const xml = new TextDecoder().decode(file.load_contents(null)[1]);
        this._object = Gio.DBusExportedObject.wrapJSObject(xml, new WindowAccess());
        this._object.export(Gio.DBus.session, OBJECT_PATH);
    }

    disable() {
        this._object.unexport();
        this._object = null;
    }
}

// eslint-disable-next-line no-unused-vars
function init() {
    return new Extension();
}
