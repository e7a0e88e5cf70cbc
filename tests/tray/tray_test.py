#!/usr/bin/env python3
"""tarvelon-tray on a private session bus and its own X display, with a watcher of
the test's own; menu events reach a recording URI handler, no browser starts.
Exit 77 (skipped) where the display server, the bus daemon or the bindings are missing."""
import atexit, base64, hashlib, os, select, shutil, subprocess, sys, tempfile, time, urllib.parse

build, source = os.environ["TARVELON_BUILD_DIR"], os.environ["TARVELON_SOURCE_DIR"]
tray = os.path.join(build, "tarvelon-tray")
for need in ("Xvfb", "dbus-daemon"):
    if not shutil.which(need):
        print(f"skipped: {need} is not installed"); sys.exit(77)
try:
    import gi
    gi.require_version("Dbusmenu", "0.4")
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Dbusmenu, Gio, GLib
except (ImportError, ValueError) as error:
    print(f"skipped: python3-gi with Dbusmenu 0.4 and Atspi 2.0 is needed ({error})"); sys.exit(77)

work = tempfile.mkdtemp()
children = []
failures = 0


@atexit.register
def clean_up():
    subprocess.run([os.path.join(source, "tools/billing_sim/sim.sh"), "stop", f"{work}/sim"])
    if os.environ.get("TARVELON_TEST_NETNS") == "1":
        subprocess.run(["ip", "address", "del", "10.9.8.7/24", "dev", "lo"], stderr=subprocess.DEVNULL)
    for child in reversed(children):
        child.kill()
        child.wait()
    shutil.rmtree(work, ignore_errors=True)


class CNames(dict):
    """eval's names: a C name not given stands for itself."""
    def __missing__(self, name):
        return name


def expect(name, expected, actual):
    global failures
    ok = expected == actual
    failures += not ok
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else f": expected {expected!r}, got {actual!r}"))


def wait_for(condition, seconds=10):
    """Runs the main loop until condition() holds, at most `seconds`."""
    end = time.monotonic() + seconds
    while not condition() and time.monotonic() < end:
        GLib.MainContext.default().iteration(False) or time.sleep(0.02)
    return condition()


def start(*argv, **options):
    child = subprocess.Popen(argv, **options)
    children.append(child)
    return child


def new_display():
    """An X server of the test's own on a free display number: (process, display)."""
    read_end, write_end = os.pipe()
    server = start("Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                   pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    return server, ":" + os.read(read_end, 16).decode().strip()


# The display and the bus: private to this test.
display = new_display()[1]
address = f"unix:path={work}/bus"
daemon = start("dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address, stderr=subprocess.DEVNULL)
wait_for(lambda: os.path.exists(f"{work}/bus"))
os.environ.update(DBUS_SESSION_BUS_ADDRESS=address, DISPLAY=display)
# The desktop's default browser: a handler that records the address it is given.
for sub in ("share/applications", "config"):
    os.makedirs(f"{work}/{sub}")
with open(f"{work}/share/applications/recorder.desktop", "w") as f:
    f.write(f"[Desktop Entry]\nType=Application\nName=recorder\nMimeType=x-scheme-handler/https;\n"
            f"Exec=sh -c 'echo \"$1\" >>{work}/uris' sh %u\n")
with open(f"{work}/config/mimeapps.list", "w") as f:
    f.write("[Default Applications]\nx-scheme-handler/https=recorder.desktop\n")
os.environ.update(XDG_DATA_HOME=f"{work}/share", XDG_DATA_DIRS=f"{work}/share",
                  XDG_CONFIG_HOME=f"{work}/config", XDG_CONFIG_DIRS=f"{work}/config")
bus = Gio.bus_get_sync(Gio.BusType.SESSION)

# The watcher: records every registration with the sender's unique name.
registered = []
item_path = "/StatusNotifierItem"
WATCHER_XML = """<node><interface name='org.kde.StatusNotifierWatcher'>
<method name='RegisterStatusNotifierItem'><arg type='s'/></method></interface></node>"""


def watcher_call(connection, sender, path, interface, method, parameters, invocation):
    registered.append((sender, parameters.unpack()[0]))
    invocation.return_value(None)


def start_watcher():
    connection = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    connection.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0],
                               watcher_call)
    connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                         GLib.Variant("(su)", ("org.kde.StatusNotifierWatcher", 4)), None, 0, -1)
    return connection


def call(owner, path, interface, method, args=None, signature=None):
    reply = bus.call_sync(owner, path, interface, method, GLib.Variant(signature, args) if signature else None,
                          None, 0, 5000)
    return reply.unpack()


def error_of(*request):
    try:
        call(*request)
        return None
    except GLib.Error as error:
        return Gio.DBusError.get_remote_error(error)


def start_tray(language, probe=None):
    """The program, registered; with `probe` its stand-in for the probe, in a mount namespace of its own."""
    env = dict(os.environ, LC_ALL=language, LANGUAGE="")
    argv = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" "$1" && exec "$2"', probe,
            os.environ["TARVELON_PROBE_PROGRAM"], tray] if probe else [tray]
    child = start(*argv, env=env, stderr=subprocess.PIPE, text=True)
    count = len(registered)
    wait_for(lambda: len(registered) > count)
    return child, registered[-1][0] if len(registered) > count else None


def menu_labels(owner):
    """The layout as libdbusmenu-glib reads it: [label or '-', ...] with sub-menus as lists."""
    client = Dbusmenu.Client.new(owner, "/MenuBar")
    wait_for(lambda: client.get_root() is not None and client.get_root().get_children())

    def labels(item):
        return [("-" if child.property_get("type") == "separator" else child.property_get("label"))
                if not child.get_children() else [child.property_get("label"), labels(child)]
                for child in item.get_children()]
    root = client.get_root()
    return labels(root) if root is not None else None


def find(role, name=None, seconds=10):
    """The first accessible with `role` (and `name`) on the desktop, once it appears."""
    def search(node):
        try:
            if node.get_role_name() == role and name in (None, node.get_name()):
                return node
            return next(filter(None, (search(node.get_child_at_index(i)) for i in range(node.get_child_count()))),
                        None)
        except GLib.Error:  # an application that has just ended
            return None
    found = []
    wait_for(lambda: found.append(search(Atspi.get_desktop(0))) or found[-1] is not None, seconds)
    return found[-1]


def box_text_and_ok():
    """The text of the open message box, after pressing its OK."""
    box = find("alert")
    if box is None:
        return None
    text = find_in(box, "label").get_name()
    Atspi.Action.do_action(find_in(box, "push button"), 0)
    wait_for(lambda: find("alert", seconds=0) is None)
    return text


def find_in(node, role):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        found = child if child.get_role_name() == role else find_in(child, role)
        if found is not None:
            return found
    return None


def login(number, password, remember=False):
    """Fills the login dialog and presses OK."""
    dialog = find("dialog", "View account balance")
    for role, text in (("text", number), ("password text", password)):
        Atspi.EditableText.set_text_contents(find_in(dialog, role), text)
    if remember:
        Atspi.Action.do_action(find_in(dialog, "check box"), 0)
    Atspi.Action.do_action(find("push button", "OK"), 0)


def tooltip(owner):
    return call(owner, item_path, "org.freedesktop.DBus.Properties", "Get",
                ("org.kde.StatusNotifierItem", "ToolTip"), "(ss)")[0]


def item_property(owner, name):
    return call(owner, item_path, "org.freedesktop.DBus.Properties", "Get",
                ("org.kde.StatusNotifierItem", name), "(ss)")[0]


# Without a watcher: one line on stderr, and the item registers when one comes.
first = start(tray, env=dict(os.environ, LC_ALL="C", GIO_LAUNCHED_DESKTOP_FILE="/menu.desktop"),
              stderr=subprocess.PIPE, text=True)
said = select.select([first.stderr], [], [], 10)[0] and first.stderr.readline()
expect("without a watcher: one line on stderr", True, "no StatusNotifierWatcher" in (said or ""))
expect("started from the menu: the same in a box", True, "no StatusNotifierWatcher" in (box_text_and_ok() or ""))
watcher = start_watcher()
wait_for(lambda: registered)
owner = registered[0][0] if registered else None
expect("registers once a watcher appears", True, owner is not None)
expect("registered by its unique name", [(owner, owner)], registered)
properties = {name: item_property(owner, name) for name in
              ("Category", "Id", "Title", "Status", "IconName", "ItemIsMenu", "Menu")}
expect("properties", {"Category": "ApplicationStatus", "Id": "tarvelon", "Title": "Tarvelon v2.6",
                      "Status": "Active", "IconName": "tarvelon", "ItemIsMenu": False, "Menu": "/MenuBar"},
       properties)
pixmaps = item_property(owner, "IconPixmap")
expect("pixmaps: sizes, ARGB32 bytes, opaque centre",
       [(s, s, s * s * 4, 255) for s in (16, 22, 24, 32, 48)],
       [(w, h, len(data), data[(h // 2 * w + w // 2) * 4]) for w, h, data in pixmaps])
status = subprocess.run([os.path.join(build, "tarvelon"), "status", "--no-probe"], capture_output=True,
                        text=True, env=dict(os.environ, LC_ALL="C")).stdout.rstrip("\n")
tip = tooltip(owner)
expect("tooltip: icon, title text 1, the status text", ("tarvelon", "Tarvelon v2.6", status),
       (tip[0], tip[2], tip[3]))
expect("menu in English, through libdbusmenu-glib",
       ["Balance", "-", ["Open", ["Subscriber statistics", "Program website"]], "-", "Exit"], menu_labels(owner))
# Menu events: 101 and 103 open texts 10 and 11 with the default browser.
for item in (101, 103):
    call(owner, "/MenuBar", "com.canonical.dbusmenu", "Event", (item, "clicked", GLib.Variant("i", 0), 0),
         "(isvu)")
wait_for(lambda: os.path.exists(f"{work}/uris") and len(open(f"{work}/uris").readlines()) == 2)
with open(os.path.join(build, "generated/texts.inc")) as f:
    urls = [line.split('"')[1] for line in f if line.startswith(("TEXT_ENTRY(10,", "TEXT_ENTRY(11,"))]
expect("events 101 and 103 open texts 10 and 11 with the default browser", sorted(urls),
       sorted(open(f"{work}/uris").read().split()) if os.path.exists(f"{work}/uris") else None)
# Malformed calls get D-Bus errors and the program goes on.
dbusmenu = (owner, "/MenuBar", "com.canonical.dbusmenu")
expect("malformed calls: D-Bus errors; a hovered Exit does nothing",
       [None, "org.freedesktop.DBus.Error.InvalidArgs", "org.freedesktop.DBus.Error.InvalidArgs",
        "org.freedesktop.DBus.Error.UnknownMethod", "org.freedesktop.DBus.Error.InvalidArgs"],
       [error_of(*dbusmenu, "Event", (100, "hovered", GLib.Variant("i", 0), 0), "(isvu)"),
        error_of(*dbusmenu, "Event", (7, "clicked", GLib.Variant("i", 0), 0), "(isvu)"),
        error_of(*dbusmenu, "Event", ("x",), "(s)"),
        error_of(*dbusmenu, "Nothing"),
        error_of(*dbusmenu, "GetLayout", (99, -1, []), "(iias)")])

# The watcher restarted: registered again.
watcher.close_sync()
count = len(registered)
watcher = start_watcher()
expect("registered again with a new watcher", True, wait_for(lambda: len(registered) > count))

# A second copy replaces the first, which exits 0; its menu speaks Russian.
second, owner2 = start_tray("ru_RU.UTF-8")
expect("first copy exits 0 when a second starts", 0, first.wait(10))
expect("the no-host line is said once", "", first.stderr.read())
expect("menu in Russian, through libdbusmenu-glib",
       ["Баланс", "-", ["Открыть", ["Статистика абонента", "Сайт программы"]], "-", "Выход"],
       menu_labels(owner2))
call(owner2, "/MenuBar", "com.canonical.dbusmenu", "Event", (100, "clicked", GLib.Variant("i", 0), 0), "(isvu)")
expect("Exit from the menu: status 0", 0, second.wait(10))

# The Balance command against the simulator: inside tests/run-suite.sh's namespace only.
if os.environ.get("TARVELON_TEST_NETNS") != "1" or os.getuid() != 0:
    print("skipped the balance checks: they need root in tests/run-suite.sh's namespace")
else:
    sim, number, password = os.path.join(source, "tools/billing_sim/sim.sh"), "7654321", "Пароль-42"
    digest = base64.b64encode(hashlib.sha1(password.encode("cp1251")).digest()).decode()
    passhash = urllib.parse.quote(digest, safe="")
    settings = f"{work}/config/tarvelon/Tarvelon.ini"
    # The rows the Windows dialog test plays too; the simulator knows each pair a row leaves.
    with open(os.path.join(source, "tests/support/login_rows.inc")) as f:
        rows = [eval(line[9:], {}, CNames(true=True, false=False)) for line in f if line.startswith("LOGIN_ROW(")]
    accounts = {row[4]: row[5] for row in rows if row[4]} | {number: passhash}

    def start_sim(*options):
        subprocess.run([sim, "stop", f"{work}/sim"])
        subprocess.run([sim, "start", f"{work}/sim", "--address", "127.0.0.1", *options,
                        *(f"--account={n}:{h}" for n, h in accounts.items())], check=True)
    start_sim()
    # A probe that hangs: the item registers at once with the local address, and the probe is killed.
    with open(f"{work}/probe", "w") as f:
        f.write(f"#!/bin/sh\necho $$ >{work}/probe.pid\nexec sleep 60\n")
    os.chmod(f"{work}/probe", 0o755)
    tray3, owner3 = start_tray("C", f"{work}/probe")
    tip = tooltip(owner3)[3] if owner3 else None
    # An address added: NewToolTip once, at the next check and not before.
    tips = []
    bus.signal_subscribe(owner3, "org.kde.StatusNotifierItem", "NewToolTip", item_path, None, 0,
                         lambda *signal: tips.append(1))
    wait_for(lambda: False, 2.5)
    before = len(tips)
    subprocess.run(["ip", "address", "add", "10.9.8.7/24", "dev", "lo"], check=True)
    wait_for(lambda: False, 4.5)
    expect("NewToolTip only on a change; the added address in the tooltip", (0, 1, "IP: 10.9.8.7"),
           (before, len(tips), tooltip(owner3)[3].split("\n")[0]))
    probe = open(f"{work}/probe.pid").read().strip() if os.path.exists(f"{work}/probe.pid") else "none"
    expect("a hanging probe: registered with the local address, the probe killed", (status, True),
           (tip, wait_for(lambda: not os.path.exists(f"/proc/{probe}"))))
    activate = (owner3, item_path, "org.kde.StatusNotifierItem", "Activate", (0, 0), "(ii)")
    balance = "Balance (roubles): 1234.56\nDays of subscription fee (approx.): 31"
    boxes = {0: balance, "TEXT_BAD_CREDENTIALS": "Wrong contract number and/or password!"}
    for typed, typed_password, remember, choice, left, left_hash, box in rows:
        # The query succeeds only with the number and pass-hash the row leaves; a box keeps the dialog.
        call(*activate)
        login(typed, typed_password, remember)
        shown = box_text_and_ok()
        if box:
            Atspi.Action.do_action(find("push button", "Cancel"), 0)
            wait_for(lambda: find("dialog", "View account balance", 0) is None)
        wait_for(lambda: os.path.exists(settings) == (choice == "LOGIN_REMEMBER"), 3)
        stored = open(settings, newline="").read() if os.path.exists(settings) else None
        os.path.exists(settings) and os.remove(settings)
        pair = f"[General]\r\nusername={left}\r\npasshash={left_hash}\r\n"
        expect(f"the login dialog's row {typed!r}: the box, the pair stored if remembered",
               (boxes[box], pair if choice == "LOGIN_REMEMBER" else None), (shown, stored))
    call(*activate)
    login(f"  {number} ", password, remember=True)
    shown = find("alert") and find_in(find("alert"), "label").get_name()
    # Exit while the balance box is open: as on Windows, the box closes, the pair is stored, the program ends.
    call(owner3, "/MenuBar", "com.canonical.dbusmenu", "Event", (100, "clicked", GLib.Variant("i", 0), 0), "(isvu)")
    expect("balance box; Exit then: status 0, the pair stored with the pass-hash of the Windows-1251 bytes",
           (balance, 0, f"[General]\r\nusername={number}\r\npasshash={passhash}\r\n"),
           (shown, tray3.wait(10), open(settings, newline="").read() if os.path.exists(settings) else None))
    tray3, owner3 = start_tray("C")
    activate = (owner3, item_path, "org.kde.StatusNotifierItem", "Activate", (0, 0), "(ii)")
    # A query the simulator holds open (the stored pair is used): the bus is still answered, and Exit ends it.
    start_sim("--fault", "slow-body", "--body-size", "30000")
    call(*activate)
    time.sleep(1)
    menu = (owner3, "/MenuBar", "com.canonical.dbusmenu")
    expect("Get and GetLayout answered while the query is held open", [True, "Exit"],
           [tooltip(owner3)[3] != "", call(*menu, "GetLayout", (100, 0, []), "(iias)")[1][1]["label"]])
    call(*menu, "Event", (100, "clicked", GLib.Variant("i", 0), 0), "(isvu)")
    expect("Exit during the query: status 0", 0, tray3.wait(10))
    # A settings file that is a directory: the dialog appears, storing says why; Exit during the dialog.
    os.remove(settings)
    os.mkdir(settings)
    start_sim()
    tray4, owner4 = start_tray("C")
    for _ in range(2):
        call(owner4, item_path, "org.kde.StatusNotifierItem", "Activate", (0, 0), "(ii)")
        wait_for(lambda: False, 0.5)
    app = find("dialog", "View account balance").get_parent()
    expect("Activate while the dialog is open: still one dialog", 1,
           sum(app.get_child_at_index(i).get_role_name() == "dialog" for i in range(app.get_child_count())))
    login(number, password, remember=True)
    expect("settings a directory: balance, then why it was not stored",
           [balance, f"The contract number and password were not remembered:\n{settings} (Is a directory)"],
           [box_text_and_ok(), box_text_and_ok()])
    os.rmdir(settings)
    call(owner4, item_path, "org.kde.StatusNotifierItem", "Activate", (0, 0), "(ii)")
    find("dialog", "View account balance")
    tray5, owner5 = start_tray("C")
    expect("a second copy during the dialog: the first exits 0, nothing stored, the second registers",
           (0, False, True), (tray4.wait(10), os.path.exists(settings), owner5 is not None))
    call(owner5, item_path, "org.kde.StatusNotifierItem", "Activate", (0, 0), "(ii)")
    find("dialog", "View account balance")
    call(owner5, "/MenuBar", "com.canonical.dbusmenu", "Event", (100, "clicked", GLib.Variant("i", 0), 0), "(isvu)")
    expect("Exit during the dialog: status 0, nothing stored", (0, False),
           (tray5.wait(10), os.path.exists(settings)))

# The display, then the bus, going away: one line each.
for victim, status, line in (("display", 1, "the display went away"), ("bus", 0, "the session bus went away")):
    server, os.environ["DISPLAY"] = new_display()
    tray5, _ = start_tray("C")
    (server if victim == "display" else daemon).kill()
    expect(f"{line}: status {status}, one line", (status, f"tarvelon-tray: {line}\n"),
           (tray5.wait(10), tray5.stderr.read()))
sys.exit(1 if failures else 0)
