// The companion's entry point for GNOME 45 and later, which load extensions as
// ES modules. The build installs it as extension.js, beside companion.js.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Shell from 'gi://Shell';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PanelMenu from 'resource:///org/gnome/shell/ui/panelMenu.js';
import * as PopupMenu from 'resource:///org/gnome/shell/ui/popupMenu.js';
import * as PointerWatcher from 'resource:///org/gnome/shell/ui/pointerWatcher.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {Companion} from './companion.js';

export default class QuorvelCompanion extends Extension {
    enable() {
        this._companion = new Companion({
            Gio, GLib, Shell, St, Main, PanelMenu, PopupMenu, PointerWatcher,
            global, log: message => console.log(message),
        });
        this._companion.enable();
    }

    disable() {
        this._companion.disable();
        this._companion = null;
    }
}
