// Quorvel's GNOME Shell companion: what Quorvel cannot do from outside the
// shell. Mutter tells Xwayland clients nothing about native windows, lets no
// client through its windows and has no tray, so the shell itself
// - keeps Quorvel's stat window above the others, on every workspace, never
//   focused, and out of the shell's picking, so that clicks reach whatever
//   lies beneath it (native windows included) while it stays drawn;
// - tells Quorvel which application is in front, whether the focused window
//   is full screen and on which monitor, and when the pointer comes onto the
//   stat window and leaves it;
// - offers Quorvel's menu from a top-bar button where no tray host is present.
//
// Everything goes over one small D-Bus interface on the session bus. Quorvel
// calls Register; from then on it alone receives the signals (they are sent to
// its connection, not broadcast), and only its windows are treated as its
// stat window. A second caller is turned away while the first is connected.
//
// The shell's libraries are handed in by the entry point (extension.js, in the
// form the running GNOME loads), so that this one file serves GNOME 43 to 47
// and gjs alone can test it.

export const BUS_NAME = 'org.quorvel.ShellCompanion';
export const OBJECT_PATH = '/org/quorvel/ShellCompanion';
export const INTERFACE_NAME = 'org.quorvel.ShellCompanion1';
export const INTERFACE_XML = `<node>
  <interface name="${INTERFACE_NAME}">
    <method name="Register">
      <arg type="b" name="topBarMenu" direction="in"/>
      <arg type="b" name="watchPointer" direction="in"/>
      <arg type="s" name="application" direction="out"/>
      <arg type="b" name="fullScreen" direction="out"/>
      <arg type="(iiii)" name="monitor" direction="out"/>
      <arg type="b" name="pointerInside" direction="out"/>
    </method>
    <signal name="FocusChanged">
      <arg type="s" name="application"/>
      <arg type="b" name="fullScreen"/>
      <arg type="(iiii)" name="monitor"/>
    </signal>
    <signal name="PointerChanged">
      <arg type="b" name="inside"/>
    </signal>
    <signal name="MenuActivated">
      <arg type="s" name="action"/>
    </signal>
  </interface>
</node>`;

// The mark Quorvel puts on its stat window (the X11 window role).
export const STAT_WINDOW_ROLE = 'quorvel-stat-window';
// The top-bar menu: its labels and the action each one sends.
export const MENU_ITEMS = [
    ['Preferences…', 'preferences'],
    ['About Quorvel', 'about'],
    ['Quit Quorvel', 'quit'],
];
// How often the pointer is looked at while it moves (the shell stops looking
// while the user is idle).
export const POINTER_INTERVAL_MS = 100;

// The desktop-file id of a window's application as the shell's window tracker
// knows it, or '' where it knows none (a window of its own making).
export function desktopIdOf(app) {
    const id = app ? app.get_id() : null;
    return typeof id === 'string' && id.endsWith('.desktop') ? id : '';
}

// [x, y, width, height] of a rectangle-like object, as whole numbers.
export function rectangleOf(rect) {
    return [rect.x, rect.y, rect.width, rect.height].map(n => Math.trunc(n) | 0);
}

export function contains(rect, x, y) {
    return x >= rect.x && y >= rect.y && x < rect.x + rect.width && y < rect.y + rect.height;
}

// What Quorvel is told of the focused window.
export function focusState(window, tracker, display) {
    if (!window)
        return {application: '', fullScreen: false, monitor: [0, 0, 0, 0]};
    const monitor = window.get_monitor();
    return {
        application: desktopIdOf(tracker.get_window_app(window)),
        fullScreen: window.is_fullscreen(),
        monitor: monitor >= 0 ? rectangleOf(display.get_monitor_geometry(monitor)) : [0, 0, 0, 0],
    };
}

export function sameFocusState(a, b) {
    return a.application === b.application && a.fullScreen === b.fullScreen &&
        a.monitor.every((n, i) => n === b.monitor[i]);
}

export class Companion {
    // shell: {Gio, GLib, Shell, St, Main, PanelMenu, PopupMenu, PointerWatcher,
    // global, log}
    constructor(shell) {
        this._shell = shell;
        this._peer = null;
        this._peerPid = null;
        this._wantsPointer = false;
        this._statWindows = new Map();
        this._focus = focusState(null);
        this._pointerInside = false;
        this._signals = [];
        this._focusWindow = null;
        this._focusWindowSignal = 0;
    }

    enable() {
        const {Gio, global} = this._shell;
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, () => this._log(`${BUS_NAME} taken by another`));
        this._connect(global.window_manager, 'map', (wm, actor) => this._consider(actor));
        this._connect(global.display, 'notify::focus-window', () => this._focusChanged());
        this._focusChanged();
    }

    disable() {
        const {Gio} = this._shell;
        this._endPeer();
        for (const [object, id] of this._signals)
            object.disconnect(id);
        this._signals = [];
        this._watchFocusWindow(null);
        if (this._nameId)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        if (this._dbus)
            this._dbus.unexport();
        this._dbus = null;
    }

    // Register(b topBarMenu, b watchPointer): Quorvel says it is there and what
    // it wants; it may call again to change what it wants.
    RegisterAsync(parameters, invocation) {
        const {GLib} = this._shell;
        const sender = invocation.get_sender();
        if (this._peer !== null && this._peer !== sender) {
            invocation.return_dbus_error(`${INTERFACE_NAME}.Error.InUse`,
                'Another Quorvel is registered with the companion');
            return;
        }
        const [topBarMenu, watchPointer] = parameters;
        if (this._peer === null)
            this._startPeer(sender);
        this._showMenu(topBarMenu === true);
        this._wantsPointer = watchPointer === true;
        this._updatePointerWatch();
        const f = this._focus;
        invocation.return_value(new GLib.Variant('(sb(iiii)b)',
            [f.application, f.fullScreen, f.monitor, this._pointerInside]));
    }

    _startPeer(sender) {
        const {Gio, GLib, global} = this._shell;
        this._peer = sender;
        this._peerWatch = Gio.bus_watch_name_on_connection(Gio.DBus.session, sender,
            Gio.BusNameWatcherFlags.NONE, null, () => this._endPeer());
        // Only the registered program's own windows count as its stat window.
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetConnectionUnixProcessID',
            new GLib.Variant('(s)', [sender]), new GLib.VariantType('(u)'),
            Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
                try {
                    const [pid] = connection.call_finish(result).deepUnpack();
                    if (this._peer !== sender)
                        return;
                    this._peerPid = pid;
                    for (const actor of global.get_window_actors())
                        this._consider(actor);
                } catch (e) {
                    this._log(`cannot tell Quorvel's process: ${e.message}`);
                }
            });
    }

    _endPeer() {
        const {Gio, Shell} = this._shell;
        if (this._peerWatch)
            Gio.bus_unwatch_name(this._peerWatch);
        this._peerWatch = 0;
        this._peer = null;
        this._peerPid = null;
        this._wantsPointer = false;
        this._updatePointerWatch();
        this._showMenu(false);
        for (const [actor, id] of this._statWindows) {
            actor.disconnect(id);
            Shell.util_set_hidden_from_pick(actor, false);
        }
        this._statWindows.clear();
    }

    // A window that appeared: Quorvel's stat window is kept above, on every
    // workspace, and out of the picking, so that clicks go through it.
    _consider(actor) {
        const {Shell} = this._shell;
        const window = actor.meta_window;
        if (!window || this._peerPid === null || this._statWindows.has(actor) ||
            window.get_role() !== STAT_WINDOW_ROLE || window.get_pid() !== this._peerPid)
            return;
        Shell.util_set_hidden_from_pick(actor, true);
        window.make_above();
        window.stick();
        this._statWindows.set(actor, actor.connect('destroy', () => {
            this._statWindows.delete(actor);
            this._updatePointer();
        }));
        this._updatePointer();
    }

    _isStatWindow(window) {
        for (const actor of this._statWindows.keys()) {
            if (actor.meta_window === window)
                return true;
        }
        return false;
    }

    _focusChanged() {
        const {global, Shell} = this._shell;
        const window = global.display.focus_window;
        // The stat window never keeps the focus: it goes back to where it was.
        if (window && this._isStatWindow(window)) {
            if (this._focusWindow)
                this._focusWindow.activate(global.get_current_time());
            return;
        }
        this._watchFocusWindow(window);
        const focus = focusState(window, Shell.WindowTracker.get_default(), global.display);
        if (sameFocusState(focus, this._focus))
            return;
        this._focus = focus;
        this._emit('FocusChanged', '(sb(iiii))',
            [focus.application, focus.fullScreen, focus.monitor]);
    }

    // Follows the focused window going full screen and back.
    _watchFocusWindow(window) {
        if (this._focusWindow === window)
            return;
        if (this._focusWindow && this._focusWindowSignal)
            this._focusWindow.disconnect(this._focusWindowSignal);
        this._focusWindow = window;
        this._focusWindowSignal = window
            ? window.connect('notify::fullscreen', () => this._focusChanged()) : 0;
    }

    _updatePointerWatch() {
        const want = this._wantsPointer && this._peer !== null;
        if (want && !this._pointerWatch) {
            this._pointerWatch = this._shell.PointerWatcher.getPointerWatcher().addWatch(
                POINTER_INTERVAL_MS, () => this._updatePointer());
            this._updatePointer();
        } else if (!want && this._pointerWatch) {
            this._pointerWatch.remove();
            this._pointerWatch = null;
            this._pointerInside = false;
        }
    }

    _updatePointer() {
        if (!this._pointerWatch)
            return;
        const [x, y] = this._shell.global.get_pointer();
        let inside = false;
        for (const actor of this._statWindows.keys())
            inside = inside || contains(actor.meta_window.get_frame_rect(), x, y);
        if (inside === this._pointerInside)
            return;
        this._pointerInside = inside;
        this._emit('PointerChanged', '(b)', [inside]);
    }

    _showMenu(show) {
        const {Main, PanelMenu, PopupMenu, St} = this._shell;
        if (show && !this._menuButton) {
            this._menuButton = new PanelMenu.Button(0.0, 'Quorvel', false);
            this._menuButton.add_child(new St.Icon({
                icon_name: 'utilities-system-monitor-symbolic',
                fallback_icon_name: 'org.quorvel.Quorvel',
                style_class: 'system-status-icon',
            }));
            for (const [label, action] of MENU_ITEMS) {
                const item = new PopupMenu.PopupMenuItem(label);
                item.connect('activate', () => this._emit('MenuActivated', '(s)', [action]));
                this._menuButton.menu.addMenuItem(item);
            }
            Main.panel.addToStatusArea('quorvel-companion', this._menuButton);
        } else if (!show && this._menuButton) {
            this._menuButton.destroy();
            this._menuButton = null;
        }
    }

    // A signal to the registered Quorvel only.
    _emit(name, type, values) {
        const {Gio, GLib} = this._shell;
        if (this._peer === null)
            return;
        try {
            Gio.DBus.session.emit_signal(this._peer, OBJECT_PATH, INTERFACE_NAME, name,
                new GLib.Variant(type, values));
        } catch (e) {
            this._log(`cannot tell Quorvel (${name}): ${e.message}`);
        }
    }

    _connect(object, signal, handler) {
        this._signals.push([object, object.connect(signal, handler)]);
    }

    _log(message) {
        this._shell.log(`Quorvel companion: ${message}`);
    }
}
