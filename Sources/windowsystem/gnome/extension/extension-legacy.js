// The companion's entry point for GNOME 43 and 44, which load extensions as
// scripts with imports.*. The build installs it as extension.js, beside a
// companion.js made from the shared module.
// init is what GNOME 43 and 44 call.
const {Gio, GLib, Shell, St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
const PopupMenu = imports.ui.popupMenu;
const PointerWatcher = imports.ui.pointerWatcher;
const {Companion} = imports.misc.extensionUtils.getCurrentExtension().imports.companion;

class QuorvelCompanion {
    enable() {
        this._companion = new Companion({
            Gio, GLib, Shell, St, Main, PanelMenu, PopupMenu, PointerWatcher, global, log,
        });
        this._companion.enable();
    }

    disable() {
        this._companion.disable();
        this._companion = null;
    }
}

function init() {
    return new QuorvelCompanion();
}
