// The GNOME Shell companion's logic, run by gjs against a fake shell: who may
// register, which window is treated as the stat window, what Quorvel is told
// and when, and that turning the extension off undoes it all.
// Run: gjs -m companion_test.js (exits non-zero at the first failure).
import System from 'system';

import {Companion, INTERFACE_NAME, STAT_WINDOW_ROLE, desktopIdOf, focusState}
    from '../../../Sources/windowsystem/gnome/extension/companion.js';

let failures = 0;
function check(condition, what) {
    if (!condition) {
        failures++;
        printerr(`FAIL: ${what}`);
    }
}
function same(a, b) {
    return JSON.stringify(a) === JSON.stringify(b);
}

// Something with connect/disconnect/emit, like a GObject.
class Emitter {
    constructor() {
        this._handlers = new Map();
        this._next = 1;
    }

    connect(name, handler) {
        this._handlers.set(this._next, [name, handler]);
        return this._next++;
    }

    disconnect(id) {
        this._handlers.delete(id);
    }

    emit(name, ...args) {
        for (const [n, handler] of [...this._handlers.values()]) {
            if (n === name)
                handler(this, ...args);
        }
    }

    get connections() {
        return this._handlers.size;
    }
}

class FakeWindow extends Emitter {
    constructor({role = '', pid = 1, app = 'window:1', fullScreen = false, monitor = 0,
        rect = {x: 0, y: 0, width: 100, height: 100}} = {}) {
        super();
        Object.assign(this, {role, pid, app, fullScreen, monitor, rect, above: false,
            sticky: false, activations: 0});
    }

    get_role() { return this.role; }
    get_pid() { return this.pid; }
    is_fullscreen() { return this.fullScreen; }
    get_monitor() { return this.monitor; }
    get_frame_rect() { return this.rect; }
    make_above() { this.above = true; }
    stick() { this.sticky = true; }
    activate() { this.activations++; }
}

function actorOf(window) {
    const actor = new Emitter();
    actor.meta_window = window;
    window.actor = actor;
    return actor;
}

function fakeShell() {
    const sent = [];
    const vanish = {};
    const display = new Emitter();
    display.focus_window = null;
    display.get_monitor_geometry = i => ({x: i * 1280, y: 0, width: 1280, height: 800});
    const watcher = {watches: 0, callback: null};
    const hidden = new Set();
    const Variant = class {
        constructor(type, values) {
            this.type = type;
            this.values = values;
        }

        deepUnpack() { return this.values; }
    };
    const session = {
        emit_signal: (destination, path, iface, name, variant) =>
            sent.push({destination, iface, name, values: variant.values}),
        call: (...args) => args[args.length - 1]({call_finish: () => new Variant('(u)', [4242])}),
    };
    const shell = {
        sent, vanish, display, watcher, hidden, pointer: [0, 0], actors: [], menus: [],
        log: () => {},
    };
    Object.assign(shell, {
        Gio: {
            DBus: {session},
            DBusExportedObject: {wrapJSObject: () => ({export() {}, unexport() {}})},
            bus_own_name_on_connection: () => 1,
            bus_unown_name: () => {},
            bus_watch_name_on_connection: (c, name, f, appeared, vanished) => {
                vanish[name] = vanished;
                return 7;
            },
            bus_unwatch_name: () => {},
            BusNameOwnerFlags: {NONE: 0},
            BusNameWatcherFlags: {NONE: 0},
            DBusCallFlags: {NONE: 0},
        },
        GLib: {Variant, VariantType: class {}},
        Shell: {
            util_set_hidden_from_pick: (actor, on) =>
                (on ? hidden.add(actor) : hidden.delete(actor)),
            WindowTracker: {get_default: () => ({get_window_app: w => ({get_id: () => w.app})})},
        },
        St: {Icon: class {}},
        Main: {panel: {addToStatusArea: (id, button) => shell.menus.push(button)}},
        PanelMenu: {
            Button: class {
                constructor() {
                    this.items = [];
                    this.menu = {addMenuItem: item => this.items.push(item)};
                }

                add_child() {}
                destroy() { this.destroyed = true; }
            },
        },
        PopupMenu: {
            PopupMenuItem: class extends Emitter {
                constructor(label) {
                    super();
                    this.label = label;
                }
            },
        },
        PointerWatcher: {
            getPointerWatcher: () => ({
                addWatch: (interval, callback) => {
                    watcher.watches++;
                    watcher.callback = callback;
                    return {remove: () => watcher.watches--};
                },
            }),
        },
        global: {
            display,
            window_manager: new Emitter(),
            get_window_actors: () => shell.actors,
            get_pointer: () => shell.pointer,
            get_current_time: () => 0,
        },
    });
    return shell;
}

function register(companion, sender, menu = false, pointer = false) {
    let answer = null;
    companion.RegisterAsync([menu, pointer], {
        get_sender: () => sender,
        return_value: v => (answer = {value: v.values}),
        return_dbus_error: name => (answer = {error: name}),
    });
    return answer;
}

// Pure pieces.
check(desktopIdOf(null) === '' && desktopIdOf({get_id: () => 'window:3'}) === '' &&
    desktopIdOf({get_id: () => 'org.gnome.Terminal.desktop'}) === 'org.gnome.Terminal.desktop',
'desktop ids: none, a window of its own, an entry');
check(same(focusState(new FakeWindow({monitor: -1, app: 'a.desktop'}),
    {get_window_app: w => ({get_id: () => w.app})}, {}),
{application: 'a.desktop', fullScreen: false, monitor: [0, 0, 0, 0]}),
'a window on no monitor');

// One Quorvel at a time; its own windows alone are its stat window.
{
    const shell = fakeShell();
    const companion = new Companion(shell);
    companion.enable();
    const editor = new FakeWindow({app: 'org.gnome.TextEditor.desktop', monitor: 1});
    shell.display.focus_window = editor;
    shell.display.emit('notify::focus-window');

    const answer = register(companion, ':1.5', true, true);
    check(same(answer.value, ['org.gnome.TextEditor.desktop', false, [1280, 0, 1280, 800], false]),
        `Register answers the focus: ${JSON.stringify(answer)}`);
    check(register(companion, ':1.6').error === `${INTERFACE_NAME}.Error.InUse`,
        'a second Quorvel is turned away');
    check(shell.menus.length === 1 && shell.menus[0].items.length === 3, 'the top-bar menu');

    const stat = new FakeWindow({role: STAT_WINDOW_ROLE, pid: 4242,
        rect: {x: 1000, y: 32, width: 280, height: 64}});
    const forged = new FakeWindow({role: STAT_WINDOW_ROLE, pid: 99});
    shell.global.window_manager.emit('map', actorOf(stat));
    shell.global.window_manager.emit('map', actorOf(forged));
    check(shell.hidden.has(stat.actor) && stat.above && stat.sticky,
        'the stat window: out of the picking, above, on every workspace');
    check(!shell.hidden.has(forged.actor) && !forged.above,
        "another program's window with the mark is left alone");

    // The stat window never keeps the focus.
    shell.sent.length = 0;
    shell.display.focus_window = stat;
    shell.display.emit('notify::focus-window');
    check(editor.activations === 1 && shell.sent.length === 0, 'the focus goes back');

    shell.display.focus_window = editor;
    editor.fullScreen = true;
    editor.emit('notify::fullscreen');
    check(same(shell.sent.map(s => [s.destination, s.name, s.values]),
        [[':1.5', 'FocusChanged', ['org.gnome.TextEditor.desktop', true, [1280, 0, 1280, 800]]]]),
    `full screen told to the registered Quorvel only: ${JSON.stringify(shell.sent)}`);

    shell.sent.length = 0;
    shell.pointer = [1100, 50];
    shell.watcher.callback();
    shell.watcher.callback();
    shell.pointer = [10, 10];
    shell.watcher.callback();
    check(same(shell.sent.map(s => s.values[0]), [true, false]), 'the pointer on and off, once each');

    shell.sent.length = 0;
    shell.menus[0].items[0].emit('activate');
    check(same(shell.sent.map(s => [s.name, s.values]), [['MenuActivated', ['preferences']]]),
        'a menu item');

    // Quorvel gone: everything undone, and the next one may register.
    shell.vanish[':1.5']();
    check(!shell.hidden.has(stat.actor) && shell.menus[0].destroyed && shell.watcher.watches === 0,
        'a Quorvel that left leaves nothing behind');
    check(register(companion, ':1.6').value !== undefined, 'the next Quorvel registers');

    companion.disable();
    check(shell.display.connections === 0 && shell.global.window_manager.connections === 0 &&
        editor.connections === 0, 'turned off, it is connected to nothing');
}

if (failures > 0)
    System.exit(1);
print('companion: all checks passed');
