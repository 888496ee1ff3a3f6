"""The daily path of the installed application, walked as a person walks it: ./run.sh builds and installs it
and starts it against the local service, and every step acts through the keyboard and mouse and checks what
is on the screen. Run through tests/walk/run-walk.sh, which gives it a display, a window manager, a session
bus and a throwaway keyring and home.

    walk.py <folder for logs and screenshots>
"""

import os
import re
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

import pyatspi

from desktop import (WalkFailure, application, click, clipboard_text, contrast, extents, find, find_all,
                     is_showing, press, screenshot, type_text, wait_for, xdotool)

# The local service gives an address starting with "lapsed" no connection of its own, so the walk adds
# one through the invitation sheet.
# An address of 60 characters: the home column fits it in the narrowest window.
EMAIL = "lapsed-walker-whose-address-runs-rather-longer@tessaron.test"
# Seventy characters with one hyphen: it must break inside itself to fit a sheet 400 wide. It is not "lapsed",
# so the account brings a connection of its own.
LONG_EMAIL = "ada.lovelace.countess.of.lovelace.analyticaengine@mathematics-club.org"
UNREACHABLE = "Tessaron could not reach the account service."
NO_BROWSER = "No web browser could open "
USED_UP_CODE = "dev-used-up-A5dG8jK2mP4rT6vY9bN1cX3zQ7w"
EUROPE_CODE = "dev-europe-Q7mZ2vK9xL4pT8wN3rB6yD1sHc5f"
# Three nodes named with 40 characters and more.
LONG_NAMES_CODE = "dev-long-names-R8kT3wQ6zN1vB5xM9pL2cJ7h"
LONG_NAMES = ("Amsterdam Backup Node Number Forty Chars", "Rotterdam Harbour Relay With A Long Title",
              "Utrecht Station Node Named At Full Length")
BUILD_TIMEOUT = 1800
LEGIBLE = 0.3  # grey-level spread of a line of text on the theme's dark page; an invisible line has ~0


class Walk:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.shots = self.folder / "shots"
        self.log_path = self.folder / "run.log"
        self.step = 0

    # --- what the walk sees --------------------------------------------------------------------------

    def app(self):
        return application("Tessaron")

    def window(self, name):
        app = self.app()
        windows = (app.getChildAtIndex(index) for index in range(app.childCount))
        return next((w for w in windows if w is not None and w.name == name and is_showing(w)), None)

    def main(self):
        return find(self.app(), pyatspi.ROLE_FRAME, "Tessaron")

    def sheet(self):
        return find(self.app(), pyatspi.ROLE_DIALOG)

    def field(self, root, description):
        return next((node for node in find_all(root, pyatspi.ROLE_TEXT) if node.description == description),
                    None)

    def button(self, root, name):
        return find(root, pyatspi.ROLE_PUSH_BUTTON, name)

    def log(self):
        return self.log_path.read_text(errors="replace")

    def shot(self, name):
        self.step += 1
        path = self.shots / f"{self.step:02d}-{name}.png"
        screenshot(path)
        print(f"  screenshot {path.name}")
        return path

    def expect(self, what, condition):
        if not condition:
            self.shot("failed")
            raise WalkFailure(what)

    # --- what the walk does --------------------------------------------------------------------------

    def reveal(self, node, window):
        """Scrolls window with the wheel until node lies inside it, as a person scrolls to a control."""
        wx, wy, ww, wh = extents(window)
        xdotool("mousemove", "--sync", wx + ww // 2, wy + wh // 2)
        for _ in range(40):
            x, y, width, height = extents(node)
            if y >= wy and y + height <= wy + wh:
                return
            xdotool("click", 5 if y + height > wy + wh else 4)
        raise WalkFailure(f"could not scroll {node.name!r} into view")

    def start(self):
        self.shots.mkdir(parents=True, exist_ok=True)
        # The local service keeps its accounts between walks; each walk's home is a new installation, which an
        # account signed in by an earlier walk would take for another computer.
        service_data = Path(os.environ["TESSARON_RUN_BUILD"]) / "local-service" / "data"
        (service_data / "accounts.json").unlink(missing_ok=True)
        log = open(self.log_path, "w")
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.run = subprocess.Popen(["./run.sh"], stdout=log, stderr=subprocess.STDOUT, env=environment)
        print("building and installing with ./run.sh …")
        wait_for("the main window of the installed application",
                 lambda: self.run.poll() is None and self.app() and self.main(), BUILD_TIMEOUT)
        self.expect("./run.sh installs the application", "Installed in" in self.log())
        self.started = time.monotonic()

    def agree_to_privacy(self):
        sheet = wait_for("the privacy offer", lambda: self.button(self.app(), "Agree") and self.sheet())
        self.sheet_inside_screen()
        self.shot("privacy-offer")
        click(self.button(sheet, "Agree"))
        wait_for("the privacy sheet to close", lambda: self.sheet() is None)

    def sign_in(self):
        click(wait_for("the Sign in button", lambda: self.button(self.main(), "Sign in")))
        sheet = wait_for("the sign-in sheet", self.sheet)
        email = wait_for("the e-mail field", lambda: self.field(sheet, "Email"))
        click(email)
        type_text(EMAIL)
        press("Return")
        code = wait_for("the code field after Return in the e-mail field",
                        lambda: self.field(self.sheet(), "Code"))
        self.expect("the sign-in sheet stays open after Return", is_showing(self.sheet()))
        self.sheet_inside_screen()
        self.shot("sign-in-code")
        sent = wait_for("the e-mail code in the local service's log",
                        lambda: re.search(rf"e-mail code for {re.escape(EMAIL)}: (\d+)", self.log()))
        click(code)
        type_text(sent.group(1))
        press("Return")
        wait_for("the signed-in step", lambda: find(self.sheet(), name=EMAIL))
        self.shot("signed-in")
        done = self.button(self.sheet(), "Done")
        if done is not None:
            click(done)
        wait_for("the sign-in sheet to close", lambda: self.sheet() is None)

    def add_invitation(self):
        click(wait_for("the Add invitation button", lambda: self.button(self.main(), "Add invitation")))
        sheet = wait_for("the invitation sheet", self.sheet)
        field = wait_for("the invitation field", lambda: find(sheet, pyatspi.ROLE_TEXT))
        click(field)
        type_text(USED_UP_CODE)
        press("Return")
        message = "This invitation is no longer available."
        wait_for("the used-up message inside the sheet", lambda: self.sheet_says(message))
        self.expect("the sheet keeps the pasted code", self.field_text(field) == USED_UP_CODE)
        self.sheet_inside_screen()
        self.shot("invitation-used-up")
        click(field)
        press("ctrl+a")
        type_text(EUROPE_CODE)
        press("Return")
        wait_for("the invitation sheet to close after the code is redeemed", lambda: self.sheet() is None, 20)

    def sheet_says(self, text):
        sheet = self.sheet()
        return sheet and find(sheet, pyatspi.ROLE_LABEL, text)

    def field_text(self, field):
        text = field.queryText()
        return text.getText(0, text.characterCount)

    def connect(self):
        # Redeeming an invitation may already start the link; otherwise the person connects.
        primary = wait_for("the Connect or Disconnect button", lambda: self.button(self.main(), "Connect")
                           or self.button(self.main(), "Disconnect"), 20)
        if primary.name == "Connect":
            click(primary)
        # The hero's header reads as one heading that starts with the state.
        online = lambda: next((node for node in find_all(self.main(), pyatspi.ROLE_HEADING)
                               if node.name.startswith("Online")), None)
        wait_for("the link to come up", lambda: self.button(self.main(), "Disconnect") and online(), 30)
        # The node list grows the page as the link comes up; the person never scrolled, so it stays at the top.
        bar = find(self.main(), pyatspi.ROLE_SCROLL_BAR)
        offset = bar.queryValue().currentValue if bar else 0
        self.expect(f"the home column stays at its top as the link comes up (scrolled by {offset})", offset == 0)
        self.shot("online")

    def scroll_through_a_sample(self):
        main = self.main()
        bar = find(main, pyatspi.ROLE_SCROLL_BAR)
        x, y, width, height = extents(main)
        xdotool("mousemove", "--sync", x + width // 2, y + height * 3 // 4)
        xdotool("click", "--repeat", 3, "--delay", 50, 5)
        scrolled = wait_for("the home column to scroll", lambda: bar.queryValue().currentValue or None)
        probes = latency_probes()
        # The node in use may still keep the 30-s pace it had before the link came up: a new pace changes no
        # due time already set.
        wait_for("a latency sample of the node in use", lambda: latency_probes() - probes, 40)
        # A sample repaints the rows at once; give the list a moment to show any jump.
        time.sleep(0.5)
        self.expect(f"the scroll position survives a latency sample ({scrolled} → "
                    f"{bar.queryValue().currentValue})", bar.queryValue().currentValue == scrolled)
        self.shot("nodes-after-sample")

    def read_connection_log(self):
        click(find(self.main(), pyatspi.ROLE_MENU_ITEM, "Tessaron"))
        click(wait_for("the Settings… menu item", lambda: find(self.app(), pyatspi.ROLE_MENU_ITEM, "Settings…")))
        settings = wait_for("the settings window", lambda: self.window("Settings"))
        wx, wy, ww, wh = extents(settings)
        screen = screen_size()
        self.expect("the settings window lies inside the screen",
                    wx >= 0 and wy >= 0 and wx + ww <= screen[0] and wy + wh <= screen[1])
        entry = wait_for("the connection log entry", lambda: self.button(settings, "Connection log"))
        self.reveal(entry, settings)
        click(entry)
        line = wait_for("the connected event in the connection log",
                        lambda: next((n for n in find_all(settings) if "tunnel status: connected" in n.name), None))
        path = self.shot("connection-log")
        spread = contrast(path, line)
        self.expect(f"the log's event text is legible (grey spread {spread:.2f})", spread >= LEGIBLE)
        press("alt+F4")
        wait_for("the settings window to close", lambda: self.window("Settings") is None)

    def minimise_and_restore(self):
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tessaron$"],
                                check=True, capture_output=True, text=True).stdout.split()[0]
        pid = int(subprocess.run(["xdotool", "getwindowpid", window], check=True, capture_output=True,
                                 text=True).stdout)
        xdotool("windowminimize", "--sync", window)
        wait_for("the window to be minimised", lambda: self.main() is None)
        busy = cpu_seconds(pid, over=2.0)
        print(f"  minimised: {busy * 50:.1f} % of a core")
        self.expect(f"nothing draws while minimised ({busy * 50:.1f} % of a core)", busy <= 0.04)
        xdotool("windowactivate", "--sync", window)
        frame = wait_for("the window to come back", self.main)
        # The window manager animates the restore: the page is drawn again only once that ends.
        drawn = self.shots / "restoring.png"
        wait_for("the restored window to be drawn",
                 lambda: screenshot(drawn) or contrast(drawn, frame) >= LEGIBLE)
        drawn.unlink()
        self.shot("restored")

    def quit(self):
        press("ctrl+q")
        self.run.wait(timeout=30)

    # --- sheets inside the screen, a long address, the service away, no browser --------------------------

    def sheet_inside_screen(self):
        """The open sheet's frame, title bar included, lies inside the screen, in the X server's own pixels
        (at twice the scale too)."""
        sheet = wait_for("an open sheet", self.sheet)
        box = wait_for(f"the sheet {sheet.name!r} on the X server", lambda: frame_box(sheet.name))
        screen = screen_size()
        x, y, width, height = box
        self.expect(f"the sheet {sheet.name!r} lies inside the screen ({box} in {screen})",
                    x >= 0 and y >= 0 and x + width <= screen[0] and y + height <= screen[1])

    def sheet_fits_its_width(self, what):
        """Every control of the open sheet lies within its sides, and nothing scrolls sideways."""
        sheet = self.sheet()
        sx, _, sw, _ = extents(sheet)
        outside = [f"[{n.getRoleName()}] {n.name!r}" for n in find_all(sheet)
                   if extents(n)[2] > 0 and not (sx <= extents(n)[0] and extents(n)[0] + extents(n)[2] <= sx + sw)]
        sideways = [bar for bar in find_all(sheet, pyatspi.ROLE_SCROLL_BAR) if extents(bar)[2] > extents(bar)[3]]
        self.expect(f"{what}: every control inside the sheet (outside: {outside})", not outside)
        self.expect(f"{what}: nothing scrolls sideways", not sideways)

    def open_settings(self):
        xdotool("windowactivate", "--sync", x_window("Tessaron"))
        press("ctrl+comma")
        return wait_for("the settings window", lambda: self.window("Settings"))

    def close_settings(self):
        xdotool("windowactivate", "--sync", x_window("Settings"))
        press("alt+F4")
        wait_for("the settings window to close", lambda: self.window("Settings") is None)

    def click_in_settings(self, name, role=pyatspi.ROLE_PUSH_BUTTON, timeout=10.0):
        settings = self.window("Settings")
        node = wait_for(f"{name!r} in Settings", lambda: find(settings, role, name), timeout)
        self.reveal(node, settings)
        click(node)

    def answer_box(self, button):
        """Presses `button` in the open confirmation, a window of its own over Settings."""
        def in_confirmation():
            app = self.app()
            for window in (app.getChildAtIndex(index) for index in range(app.childCount)):
                if window is not None and window.name not in ("Settings", "Tessaron") and is_showing(window):
                    found = find(window, pyatspi.ROLE_PUSH_BUTTON, button)
                    if found:
                        return found
            return None
        click(wait_for(f"the {button!r} button of the confirmation", in_confirmation))

    def local_service(self):
        """The local service ./run.sh started: its process, its command and its folder."""
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                parent = int((entry / "stat").read_text().rsplit(")", 1)[1].split()[1])
                command = (entry / "cmdline").read_bytes().split(b"\0")[:-1]
            except OSError:
                continue
            if parent == self.run.pid and command and command[0].endswith(b"tessaron-local-service"):
                return int(entry.name), [c.decode() for c in command], os.readlink(entry / "cwd")
        return None

    def service_port(self):
        build = Path(os.environ["TESSARON_RUN_BUILD"])
        return int(re.search(r"https://127\.0\.0\.1:(\d+)", (build / "CMakeCache.txt").read_text()).group(1))

    def stop_the_service(self):
        pid, self.service_command, self.service_folder = wait_for("the local service", self.local_service)
        os.kill(pid, signal.SIGTERM)
        wait_for("the local service to stop", lambda: not accepts_connections(self.service_port()))

    def start_the_service(self):
        # It writes where ./run.sh's service wrote: the codes it sends appear in the same log.
        self.service = subprocess.Popen(self.service_command, cwd=self.service_folder,
                                        stdout=open(self.log_path, "a"), stderr=subprocess.STDOUT)
        wait_for("the local service to answer again", lambda: accepts_connections(self.service_port()))

    def stop_own_service(self):
        if getattr(self, "service", None) and self.service.poll() is None:
            self.service.terminate()
            self.service.wait(timeout=10)

    def service_away_mid_run(self):
        """With the account service gone, Settings still offers Sign out and says what failed: a deletion
        that cannot reach the service keeps the account and shows why."""
        self.stop_the_service()
        settings = self.open_settings()
        wait_for("Sign out in Settings", lambda: self.button(settings, "Sign out"))
        self.click_in_settings("Delete account…")
        self.answer_box("Delete")
        wait_for("what failed, in Settings", lambda: find(self.window("Settings"), pyatspi.ROLE_LABEL, UNREACHABLE),
                 30)
        self.expect("Settings still offers Sign out", self.button(self.window("Settings"), "Sign out"))
        self.shot("settings-service-away")
        self.close_settings()
        self.start_the_service()

    def sign_in_with_a_long_address(self):
        """Signed out, then in again with an address of 70 characters: it wraps inside the sheet on the code
        and the done step, and inside Settings' row."""
        self.open_settings()
        self.click_in_settings("Sign out")
        self.answer_box("Sign out")
        wait_for("the Sign in row in Settings", lambda: self.button(self.window("Settings"), "Sign in"), 30)
        self.close_settings()
        click(wait_for("the Sign in button", lambda: self.button(self.main(), "Sign in"), 20))
        sheet = wait_for("the sign-in sheet", self.sheet)
        email = wait_for("the e-mail field", lambda: self.field(sheet, "Email"))
        click(email)
        press("ctrl+a")
        type_text(LONG_EMAIL)
        press("Return")
        wait_for("the code step", lambda: self.field(self.sheet(), "Code"))
        wait_for("the long address on the code step", lambda: find(self.sheet(), name=LONG_EMAIL))
        time.sleep(0.3)
        self.sheet_fits_its_width("the code step")
        self.sheet_inside_screen()
        self.shot("sign-in-long-address-code")
        sent = wait_for("the e-mail code in the local service's log",
                        lambda: re.search(rf"e-mail code for {re.escape(LONG_EMAIL)}: (\d+)", self.log()))
        click(self.field(self.sheet(), "Code"))
        type_text(sent.group(1))
        wait_for("the signed-in step", lambda: self.sheet() is None or self.button(self.sheet(), "Done"), 20)
        if self.sheet() is not None:
            time.sleep(0.5)
            self.sheet_fits_its_width("the done step")
            self.sheet_inside_screen()
            self.shot("sign-in-long-address-done")
            click(self.button(self.sheet(), "Done"))
        wait_for("the sign-in sheet to close", lambda: self.sheet() is None)
        settings = self.open_settings()
        row = wait_for("the long address in Settings", lambda: find(settings, name=LONG_EMAIL), 20)
        self.expect("the long address lies inside Settings", self.within_width(row, settings))
        self.shot("settings-long-address")

    def other_devices_without_a_browser(self):
        """The other-devices sheet opens inside the screen with the focus on "Create link"; "How to set up"
        with no browser says so; the page with its code still fits the screen."""
        self.click_in_settings("Windows / Android")
        sheet = wait_for("the other-devices sheet", lambda: self.sheet() and self.sheet().name == "Windows / Android"
                         and self.sheet())
        self.sheet_inside_screen()
        wait_for("the focus on Create link", lambda: (f := focused(self.sheet())) and f.name == "Create link", 20)
        self.shot("other-devices-focus-on-create-link")
        click(wait_for("How to set up", lambda: self.button(sheet, "How to set up")))
        said = wait_for("the no-browser note", lambda: next(
            (n for n in find_all(self.sheet(), pyatspi.ROLE_LABEL) if n.name.startswith(NO_BROWSER)), None), 20)
        self.expect("the note lies inside the sheet", self.within_width(said, self.sheet()))
        self.shot("other-devices-no-browser")
        click(self.button(self.sheet(), "Create link"))
        wait_for("the link's page", lambda: self.button(self.sheet(), "Copy link"), 20)
        time.sleep(0.5)
        self.sheet_inside_screen()
        self.sheet_fits_its_width("the link's page")
        self.shot("other-devices-link")
        press("Escape")
        wait_for("the other-devices sheet to close", lambda: self.sheet() is None)
        self.close_settings()

    def start_with_the_service_stopped(self):
        """Started with the account service away: the window comes up, signed in without an address, and
        Settings, knowing neither providers nor the account, shows no account section."""
        self.stop_own_service()
        installed = re.search(r"Installed in (\S+)", self.log()).group(1)
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.run = subprocess.Popen([f"{installed}/tessaron"], env=environment, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        wait_for("the main window with the service away",
                 lambda: self.run.poll() is None and self.app() and self.main(), 60)
        # The launch refresh and the window's own find no service, and say nothing of it.
        time.sleep(2)
        self.expect("no address is shown without the service", find(self.main(), name=LONG_EMAIL) is None)
        settings = self.open_settings()
        time.sleep(1)
        self.expect("Settings shows no account section without providers or an account",
                    self.button(settings, "Sign out") is None and self.button(settings, "Sign in") is None)
        self.shot("settings-started-without-service")
        # The service comes back. The main window, closed (its refresh cancelled) and opened again at once by
        # a second start, appears anew: its refresh fetches the account, and Settings offers Sign out.
        self.start_the_service()
        xdotool("windowactivate", "--sync", x_window("Tessaron"))
        press("alt+F4")
        wait_for("the main window to close", lambda: self.main() is None)
        installed = re.search(r"Installed in (\S+)", self.log()).group(1)
        subprocess.run([f"{installed}/tessaron"], check=True, timeout=30)
        wait_for("the address back in the reopened window", lambda: self.main() and find(self.main(), name=LONG_EMAIL),
                 20)
        wait_for("Sign out in Settings once the account is known", lambda: self.button(self.window("Settings"),
                                                                                     "Sign out"), 20)
        self.shot("service-back-window-reopened")
        self.close_settings()
        self.quit()
        self.stop_own_service()

    def launch_installed(self, what):
        """Starts the installed copy as the desktop does and waits for its main window."""
        installed = re.search(r"Installed in (\S+)", self.log()).group(1)
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.run = subprocess.Popen([f"{installed}/tessaron"], env=environment, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        wait_for(what, lambda: self.run.poll() is None and self.app() and self.main(), 60)

    def come_back_online(self):
        """Started with the account service away, the window shows no address and Settings no account
        section; once the service is back, the window's return to the foreground brings the address, and
        Settings opened again the account's rows, with the window left open all along."""
        for trigger in ("the foreground", "Settings"):
            self.launch_installed(f"the main window with the service away, to come back through {trigger}")
            time.sleep(2)
            self.expect("no address is shown without the service", find(self.main(), name=LONG_EMAIL) is None)
            if trigger == "Settings":
                self.open_settings()
                time.sleep(1)
                self.close_settings()
            self.start_the_service()
            if trigger == "the foreground":
                window = x_window("Tessaron")
                xdotool("windowminimize", "--sync", window)
                wait_for("the window to be minimised", lambda: self.main() is None)
                xdotool("windowactivate", "--sync", window)
                wait_for("the address back after the return to the foreground",
                         lambda: self.main() and find(self.main(), name=LONG_EMAIL), 20)
                self.shot("service-back-foreground")
            else:
                settings = self.open_settings()
                wait_for("Sign out in Settings opened again", lambda: self.button(settings, "Sign out"), 20)
                self.shot("service-back-settings-reopened")
                self.close_settings()
            self.quit()
            self.stop_own_service()

    def start_signed_in_without_a_connection(self):
        """Signed in, with no connection saved: the launch brings the account's connection, and the button
        offers to connect rather than to add an invitation."""
        forget_saved_connections()
        self.start_the_service()
        earlier = len(self.log())
        self.launch_installed("the main window, signed in without a connection")
        wait_for("the account's connection at launch", lambda: self.button(self.main(), "Connect"), 30)
        self.expect("the launch asked the account service for the profile",
                    "POST /v1/account/profile" in self.log()[earlier:])
        self.shot("launch-brings-the-accounts-connection")
        self.quit()
        self.stop_own_service()

    # --- fit: long names, a message below the nodes, twice the scale ------------------------------------

    def open_invitation_link(self, code):
        """Opens an invitation link as the desktop does: a second start hands it to the running one."""
        installed = re.search(r"Installed in (\S+)", self.log()).group(1)
        subprocess.run([f"{installed}/tessaron", f"tessaron://invite?invite={code}"], check=True, timeout=30)

    def within_width(self, node, window):
        x, _, width, _ = extents(node)
        wx, _, ww, _ = extents(window)
        return wx <= x and x + width <= wx + ww

    def within(self, node, window):
        x, y, width, height = extents(node)
        wx, wy, ww, wh = extents(window)
        return wx <= x and x + width <= wx + ww and wy <= y and y + height <= wy + wh

    def meet_an_error_with_nodes_listed(self):
        """A link to change connections while linked is refused; the message shows on screen at once."""
        main = self.main()
        x, y, width, height = extents(main)
        xdotool("mousemove", "--sync", x + width // 2, y + height // 2)
        xdotool("click", "--repeat", 20, "--delay", 20, 4)
        bar = find(main, pyatspi.ROLE_SCROLL_BAR)
        wait_for("the home column back at its top", lambda: bar is None or bar.queryValue().currentValue == 0)
        self.open_invitation_link(LONG_NAMES_CODE)
        banner = wait_for("the message banner", lambda: find(self.main(), pyatspi.ROLE_ALERT), 20)
        # The alert reads its message as its name.
        message = wait_for("the message", lambda: (alert := find(self.main(), pyatspi.ROLE_ALERT)) and alert.name
                           and alert)
        self.shot("message-below-the-nodes")
        self.expect(f"the message {message.name!r} shows inside the window", self.within(message, self.main()))
        click(wait_for("the dismiss button", lambda: self.button(banner, "Dismiss error")))

    def long_names_fit_the_window(self):
        """Nodes named at full length and a long address: every row and the button stay inside the window."""
        click(wait_for("the Disconnect button", lambda: self.button(self.main(), "Disconnect")))
        wait_for("the link to go down", lambda: self.button(self.main(), "Connect"), 30)
        self.open_invitation_link(LONG_NAMES_CODE)
        wait_for("the nodes named at full length", lambda: all(
            any(n.name.startswith(name) for n in find_all(self.main(), pyatspi.ROLE_PUSH_BUTTON))
            for name in LONG_NAMES), 30)
        for window_width in (360, 480):
            window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tessaron$"],
                                    check=True, capture_output=True, text=True).stdout.split()[0]
            xdotool("windowsize", "--sync", window, window_width, 640)
            main = wait_for(f"the main window {window_width} wide", lambda: self.main() if abs(
                extents(self.main())[2] - window_width) <= 2 else None)
            time.sleep(0.3)
            rows = [n for n in find_all(main, pyatspi.ROLE_PUSH_BUTTON)
                    if n.name.startswith(("Auto, ",) + LONG_NAMES + ("Amsterdam", "Frankfurt", "Stockholm"))]
            primary = self.button(main, "Connect") or self.button(main, "Disconnect")
            address = find(main, pyatspi.ROLE_LABEL, EMAIL)
            self.expect("the Auto row, the long-named rows, the button and the address are found",
                        len(rows) >= 4 and primary and address)
            outside = [n.name for n in rows + [primary, address] if not self.within_width(n, main)]
            self.shot(f"long-names-{window_width}")
            self.expect(f"every row, the button and the address inside a window {window_width} wide "
                        f"(outside: {outside})", not outside)

    def start_at_twice_the_scale(self):
        """At twice the scale the screen holds half as much: the main window and Settings still fit."""
        log = open(self.log_path, "w")
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_SCALE_FACTOR="2")
        self.run = subprocess.Popen(["./run.sh"], stdout=log, stderr=subprocess.STDOUT, env=environment)
        wait_for("the main window at twice the scale",
                 lambda: self.run.poll() is None and self.app() and self.main(), BUILD_TIMEOUT)
        screen = screen_size()

        def inside(name):
            """The window as the X server places it, in the screen's own pixels."""
            window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"], check=True,
                                    capture_output=True, text=True).stdout.split()[0]
            shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], check=True,
                                   capture_output=True, text=True).stdout
            box = dict(line.split("=") for line in shell.split())
            x, y, width, height = (int(box[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
            return (x, y, width, height), x >= 0 and y >= 0 and x + width <= screen[0] and y + height <= screen[1]
        primary = wait_for("the primary button", lambda: self.button(self.main(), "Connect")
                           or self.button(self.main(), "Disconnect"), 20)
        self.shot("twice-the-scale")
        box, fits = inside("Tessaron")
        self.expect(f"the main window inside the screen at twice the scale ({box} in {screen})", fits)
        # The wheel goes where the X server has the window; what lies inside it is compared on the bus.
        (x, y, width, height), _ = inside("Tessaron")
        xdotool("mousemove", "--sync", x + width // 2, y + height // 2)
        for _ in range(40):
            if self.within(primary, self.main()):
                break
            xdotool("click", 5)
        self.expect("the primary button can be reached inside the window", self.within(primary, self.main()))
        # The accessibility bus gives places in the application's own (scaled) pixels: the keyboard opens it.
        press("ctrl+comma")
        wait_for("the settings window", lambda: self.window("Settings"))
        time.sleep(0.3)
        self.shot("settings-twice-the-scale")
        box, fits = inside("Settings")
        self.expect(f"the settings window inside the screen at twice the scale ({box} in {screen})", fits)
        # The other-devices sheet, with the link's code, is as tall as a screen that holds half as much.
        row = wait_for("the Windows / Android row", lambda: self.button(self.window("Settings"), "Windows / Android"),
                       20)
        row.queryAction().doAction(0)
        wait_for("the other-devices sheet at twice the scale",
                 lambda: self.sheet() and self.sheet().name == "Windows / Android")
        time.sleep(0.5)
        self.sheet_inside_screen()
        self.shot("other-devices-twice-the-scale")
        press("Escape")
        wait_for("the other-devices sheet to close", lambda: self.sheet() is None)
        press("alt+F4")
        wait_for("the settings window to close", lambda: self.window("Settings") is None)


# --- the keyboard and the readers' tree ---------------------------------------------------------------------

def focused(root):
    """The node of root that has the keyboard focus, or None."""
    return next((node for node in find_all(root) if pyatspi.STATE_FOCUSED in node.getState().getStates()),
                None)


def unnamed_controls(root):
    """What a person can tab to or a reader lists as a window, under root, without a name."""
    return [f"[{node.getRoleName()}]" for node in find_all(root)
            if not node.name and (pyatspi.STATE_FOCUSABLE in node.getState().getStates()
                                  or node.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                                                        pyatspi.ROLE_WINDOW))]


def tab_ring(walk, root, limit=30):
    """Tabs from the focused control until the focus comes back to it; the names met on the way."""
    start = wait_for("a focused control", lambda: focused(root))
    met = [start.name]
    for _ in range(limit):
        press("Tab")
        now = wait_for("the focus after Tab", lambda: focused(root))
        walk.expect(f"every control Tab reaches is named (after {met[-1]!r}: [{now.getRoleName()}])",
                    bool(now.name))
        if now.name == start.name and now.getRole() == start.getRole():
            return met
        met.append(now.name)
    raise WalkFailure(f"Tab never came back to {start.name!r}: {met}")


def bound(function, walk):
    """A step of the walk kept outside the class, under its own name."""
    def step():
        function(walk)
    step.__name__ = function.__name__
    return step


def tab_through_sign_in(walk):
    """The sign-in sheet opens with the focus in the e-mail field; Return on an unusable address does nothing;
    Tab goes round named controls; Escape closes the sheet."""
    click(wait_for("the Sign in button", lambda: walk.button(walk.main(), "Sign in")))
    sheet = wait_for("the sign-in sheet", walk.sheet)
    walk.expect(f"the sign-in sheet is named ({sheet.name!r})", sheet.name == "Sign in")
    field = wait_for("the focus in the e-mail field", lambda: (f := focused(walk.sheet())) and f.name == "Email"
                     and f)
    type_text("walker")
    press("Return")
    # Nothing happens, and nothing is said: the dimmed "Continue" is the cue. The sheet stays on its step.
    time.sleep(0.5)
    walk.expect("Return on an unusable address leaves the e-mail step",
                walk.field(walk.sheet(), "Email") is not None and walk.field(walk.sheet(), "Code") is None)
    walk.expect("Continue stays dimmed for an unusable address", pyatspi.STATE_SENSITIVE not in
                walk.button(walk.sheet(), "Continue").getState().getStates())
    walk.expect("the focus stays in the e-mail field", focused(walk.sheet()) == field)
    walk.sheet_inside_screen()
    walk.shot("sign-in-unusable-address")
    met = tab_ring(walk, walk.sheet())
    walk.expect(f"Tab reaches Cancel ({met})", "Cancel" in met)
    walk.expect(f"nothing in the sign-in sheet is unnamed ({unnamed_controls(walk.sheet())})",
                not unnamed_controls(walk.sheet()))
    press("ctrl+a")
    press("BackSpace")
    press("Escape")
    wait_for("Escape to close the sign-in sheet", lambda: walk.sheet() is None)


def tab_through_settings(walk):
    """Settings is a named window; Space on a switch keeps the focus on it and the page where it was;
    Escape goes back from a page, then closes the window."""
    xdotool("windowactivate", "--sync", subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Tessaron$"], check=True, capture_output=True,
        text=True).stdout.split()[0])
    press("ctrl+comma")
    settings = wait_for("the settings window", lambda: walk.window("Settings"))
    walk.expect(f"Settings is a window to readers ([{settings.getRoleName()}])",
                settings.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW))
    switch = wait_for("the kill switch", lambda: find(settings, pyatspi.ROLE_CHECK_BOX,
                                                      "Block traffic if Tessaron drops"))
    # The account's address is long: it wraps in its row and pushes no switch out of the window.
    outside = [box.name for box in find_all(settings, pyatspi.ROLE_CHECK_BOX)
               if not walk.within_width(box, settings)]
    walk.expect(f"every switch lies inside the Settings window (outside: {outside})", not outside)
    walk.reveal(switch, settings)
    for _ in range(40):
        if focused(settings) and focused(settings).name == switch.name:
            break
        press("Tab")
        wait_for("the focus after Tab", lambda: focused(settings))
    walk.expect("Tab reaches the kill switch", focused(settings).name == switch.name)
    bar = find(settings, pyatspi.ROLE_SCROLL_BAR)
    top = bar.queryValue().currentValue if bar else 0
    checked = pyatspi.STATE_CHECKED in switch.getState().getStates()
    for _ in range(2):  # on and back off
        press("space")
        wait_for("the switch to follow the session",
                 lambda: (pyatspi.STATE_CHECKED in switch.getState().getStates()) != checked
                 and pyatspi.STATE_SENSITIVE in switch.getState().getStates(), 20)
        checked = not checked
        now = focused(settings)
        walk.expect(f"the focus stays on the switch (on {now.name if now else None!r})",
                    now is not None and now.name == switch.name)
        offset = bar.queryValue().currentValue if bar else 0
        walk.expect(f"the page stays where it was ({top} → {offset})", offset == top)
    walk.shot("settings-switch-kept-focus")
    met = tab_ring(walk, settings)
    walk.expect(f"nothing in Settings is unnamed ({unnamed_controls(settings)})", not unnamed_controls(settings))
    walk.expect(f"Tab reaches the User guide link ({met})", "User guide" in met)
    while focused(settings).name != "User guide":
        press("Tab")
    # Return presses a focused button as Space does, here as in every window.
    press("Return")
    wait_for("the guide page", lambda: walk.button(walk.window("Settings"), "Back"))
    press("Escape")
    wait_for("Escape to go back to the form", lambda: walk.button(walk.window("Settings"), "Back") is None)
    walk.expect("the focus is back on the link", focused(walk.window("Settings")).name == "User guide")
    press("Escape")
    wait_for("Escape to close Settings", lambda: walk.window("Settings") is None)


def read_the_tree(walk):
    """Every window the application shows, and every control a person can tab to, has a name."""
    app = walk.app()
    windows = [app.getChildAtIndex(index) for index in range(app.childCount)]
    nameless = [f"[{w.getRoleName()}]" for w in windows if w is not None and is_showing(w) and not w.name]
    walk.expect(f"every window is named ({nameless})", not nameless)
    walk.expect(f"nothing in the main window is unnamed ({unnamed_controls(walk.main())})",
                not unnamed_controls(walk.main()))
    walk.shot("tree-read")


# --- the order a reader meets, and Tab from control to control --------------------------------------------

# What a reader passes through rather than reads: its parts are read one by one.
CONTAINER_ROLES = {pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL, pyatspi.ROLE_SCROLL_PANE, pyatspi.ROLE_SCROLL_BAR,
                   pyatspi.ROLE_VIEWPORT, pyatspi.ROLE_LAYERED_PANE, pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                   pyatspi.ROLE_WINDOW, pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM}


def reading_order(root):
    """What a reader reads under root, in its order (depth first), with where each element stands."""
    read = []

    def visit(node):
        for index in range(node.childCount):
            child = node.getChildAtIndex(index)
            if child is None or not is_showing(child):
                continue
            if child.getRole() not in CONTAINER_ROLES:
                read.append((f"[{child.getRoleName()}] {child.name!r}", child.name, extents(child)))
            visit(child)
    visit(root)
    return read


def read_against_the_screen(read):
    """Each element read right after one that it stands above, or left of on the same line."""
    against = []
    for (before, _, (bx, by, _, bh)), (now, _, (nx, ny, nw, nh)) in zip(read, read[1:]):
        above = ny + nh <= by
        left_on_the_line = ny < by + bh and by < ny + nh and nx + nw <= bx
        if above or left_on_the_line:
            against.append(f"{now} after {before}")
    return against


def tab_stops(root, limit=40):
    """The controls Tab meets from the focused one, once round: role, role name and name."""
    met = []
    for _ in range(limit):
        press("Tab")
        node = wait_for("the focus after Tab", lambda: focused(root))
        stop = (node.getRole(), node.getRoleName(), node.name)
        if stop in met:
            return met
        met.append(stop)
    return met


def expect_read_in_order_and_by_name(walk, what, root):
    read = reading_order(root)
    print(f"  {what} reads: " + " · ".join(text for text, _, _ in read))
    unnamed = [text for text, name, _ in read if not name.strip()]
    walk.expect(f"every element of {what} that a reader reads is named ({unnamed})", not unnamed)
    against = read_against_the_screen(read)
    walk.expect(f"{what} reads in the screen's order ({against})", not against)
    stops = tab_stops(root)
    print(f"  Tab in {what}: " + " · ".join(f"[{role}] {name!r}" for _, role, name in stops))
    containers = [f"[{role}] {name!r}" for kind, role, name in stops if kind in CONTAINER_ROLES]
    walk.expect(f"Tab in {what} goes from control to control (also onto {containers})", not containers)


def read_in_the_screens_order(walk):
    """Nodes that arrived after the others are read where the screen lists them, by name; the main window and
    Settings read top to bottom, every element named, and Tab stops only on controls."""
    xdotool("windowactivate", "--sync", x_window("Tessaron"))
    expect_read_in_order_and_by_name(walk, "the main window", walk.main())
    walk.shot("read-in-the-screens-order")
    settings = walk.open_settings()
    wait_for("the Settings form", lambda: walk.button(settings, "Connection log"))
    expect_read_in_order_and_by_name(walk, "Settings", settings)
    walk.close_settings()


def read_the_sign_in_sheet_in_order(walk):
    """The sign-in sheet reads from its bar down, every element named: nothing empty beside Cancel."""
    click(wait_for("the Sign in button", lambda: walk.button(walk.main(), "Sign in")))
    sheet = wait_for("the sign-in sheet", walk.sheet)
    wait_for("the focus in the e-mail field", lambda: (f := focused(walk.sheet())) and f.name == "Email")
    expect_read_in_order_and_by_name(walk, "the sign-in sheet", sheet)
    press("Escape")
    wait_for("Escape to close the sign-in sheet", lambda: walk.sheet() is None)


def an_offline_start_opens_at_the_top(walk):
    """Quit while connected, the service then stopped: the next start opens at the top, the heading in sight,
    though the link drops and its message comes below the nodes."""
    walk.launch_installed("the main window")
    primary = wait_for("Connect or Disconnect", lambda: walk.button(walk.main(), "Connect")
                       or walk.button(walk.main(), "Disconnect"), 20)
    if primary.name == "Connect":
        click(primary)
    wait_for("the link to come up", lambda: walk.button(walk.main(), "Disconnect"), 30)
    walk.quit()
    walk.stop_own_service()
    walk.launch_installed("the main window with the service away")
    alert = wait_for("the message of the dropped link", lambda: (a := find(walk.main(), pyatspi.ROLE_ALERT))
                     and a.name and a, 60)
    time.sleep(0.5)
    bar = find(walk.main(), pyatspi.ROLE_SCROLL_BAR)
    offset = bar.queryValue().currentValue if bar else 0
    heading = next(node for node in find_all(walk.main(), pyatspi.ROLE_HEADING))
    walk.shot("offline-start-at-the-top")
    walk.expect(f"an offline start opens at the top (scrolled by {offset}, {alert.name!r} below)", offset == 0)
    walk.expect("the heading lies in view", walk.within(heading, walk.main()))
    walk.quit()
    walk.start_the_service()


def copy_part_of_a_log_line(walk):
    """A person drags over the first word of a log line, copies it, and pastes that word alone; the word
    shows selected on its row, which is not selected whole."""
    walk.open_settings()
    walk.click_in_settings("Connection log")
    settings = walk.window("Settings")
    row = wait_for("the connected event's row", lambda: next(
        (n for n in find_all(settings, pyatspi.ROLE_LIST_ITEM) if "tunnel status: connected" in n.name), None))
    text = row.name.split(" ", 1)[1]
    x, y, width, height = extents(row)
    # The text is white, the time grey: the first and last white columns bound the text's characters,
    # all of one width in the monospaced font.
    before = walk.shot("log-line-before-selection")
    white = bright_columns(before, (x, y, width, height), 235)
    walk.expect(f"the event's text is drawn on its row ({row.name!r})", white)
    left, advance = white[0], (white[-1] + 1 - white[0]) / len(text)
    word = text.split(" ")[0]
    middle = y + height // 2
    # From just left of the first character's stroke, still inside its cell, to the word's end.
    xdotool("mousemove", "--sync", left - 1, middle, "mousedown", 1)
    xdotool("mousemove", "--sync", left + int(advance * len(word) / 2), middle)
    xdotool("mousemove", "--sync", left + round(advance * len(word)), middle, "mouseup", 1)
    press("ctrl+c")
    wait_for(f"{word!r} alone on the clipboard", lambda: clipboard_text() == word)
    walk.expect("the row is not selected whole", pyatspi.STATE_SELECTED not in row.getState().getStates())
    selected = walk.shot("log-line-part-selected")
    # The selection's tint leaves no pixel of the word black; the rest of the line stays on black.
    word_box = (left, y + height // 3, round(advance * len(word)) - 3, height // 3)
    rest_box = (left + round(advance * (len(word) + 1)), y + height // 3, round(advance * 4), height // 3)
    walk.expect("the selected word shows tinted", min(grey_levels(selected, word_box)) > 40)
    walk.expect("the rest of the line shows untinted", min(grey_levels(selected, rest_box)) < 10)
    press("Escape")  # the keyboard back to the rows
    press("Escape")  # back to the form
    walk.close_settings()


def grey_levels(path, box):
    """The grey levels (0-255) of the screenshot's pixels inside box, row by row."""
    x, y, width, height = box
    pgm = subprocess.run(["convert", str(path), "-crop", f"{width}x{height}+{x}+{y}", "-colorspace", "Gray",
                          "-depth", "8", "pgm:-"], check=True, capture_output=True).stdout
    return pgm[-width * height:]


def bright_columns(path, box, level):
    """The screen's x of every column inside box with a pixel brighter than level."""
    x, y, width, height = box
    levels = grey_levels(path, box)
    return [x + column for column in range(width)
            if any(levels[row * width + column] > level for row in range(height))]


# --- the focus a person keeps: after a failed connect, and in the sign-in sheet after a sign-out -------------

FOCUS_BLUE = "#3b82f6"  # the focus ring's colour
CANNOT_REACH = "This network cannot reach the Tessaron server."


def ring_drawn(path, node):
    """The share of the middle of node's top edge, two pixels deep, drawn in the focus ring's colour."""
    x, y, width, height = extents(node)
    reply = subprocess.run(
        ["convert", str(path), "-crop", f"{max(width // 2, 1)}x2+{x + width // 4}+{y}", "+repage",
         "-fuzz", "15%", "-fill", "black", "+opaque", FOCUS_BLUE, "-fill", "white", "-opaque", FOCUS_BLUE,
         "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"],
        check=True, capture_output=True, text=True)
    return float(reply.stdout)


def tab_to(root, name, limit=40):
    """Presses Tab until the control called `name` has the focus, as a person tabs to it. A box's button row
    may read as focused beside its focused button."""
    def reached():
        return next((node for node in find_all(root) if node.name == name
                     and pyatspi.STATE_FOCUSED in node.getState().getStates()), None)
    for _ in range(limit):
        if reached():
            return reached()
        press("Tab")
        wait_for("the focus after Tab", lambda: focused(root))
    raise WalkFailure(f"Tab never reached {name!r}")


def wait_for_ring(walk, node):
    """Waits until node's focus ring is on the screen: it is drawn a moment after the focus moves."""
    probe = walk.shots / "ring-probe.png"
    wait_for(f"the focused {node.name!r} to draw its focus ring",
             lambda: screenshot(probe) or ring_drawn(probe, node) > 0.5, 5)
    probe.unlink()


def escape_back_to_a_clicked_row_rings_it(walk):
    """A page of Settings opened with a click and left with Escape gives the focus back to its row, ringed."""
    settings = walk.open_settings()
    walk.click_in_settings("Privacy")
    wait_for("the privacy page", lambda: walk.button(walk.window("Settings"), "Back"))
    press("Escape")
    row = wait_for("the focus back on the Privacy row", lambda: (f := focused(walk.window("Settings")))
                   and f.name == "Privacy" and f)
    wait_for_ring(walk, row)
    walk.shot("escape-back-to-privacy")
    walk.close_settings()


def failed_connect_keeps_the_focus_in_sight(walk):
    """With the local service stopped, Tab to Connect, ringed inside its nudge border, and Return: the message
    comes into view, and the focus stays on a control in sight with its ring drawn, Connect or the message's
    first action, where the next Return acts."""
    if getattr(walk, "service", None) and walk.service.poll() is None:
        walk.stop_own_service()
    else:
        walk.stop_the_service()
    wait_for("the local service to stop", lambda: not accepts_connections(walk.service_port()))
    xdotool("windowactivate", "--sync", x_window("Tessaron"))
    # An invitation redeemed before may have brought the link up.
    primary = wait_for("Connect or Disconnect", lambda: walk.button(walk.main(), "Connect")
                       or walk.button(walk.main(), "Disconnect"), 20)
    if primary.name == "Disconnect":
        click(primary)
    wait_for("Connect", lambda: walk.button(walk.main(), "Connect"), 30)
    # Short enough that the message, below the nodes, takes Connect out of view as it comes in.
    xdotool("windowsize", "--sync", x_window("Tessaron"), 480, 480)
    wait_for("the main window 480 high", lambda: abs(extents(walk.main())[3] - 480) <= 2)
    # The click that took the link down gave Connect the focus: the person tabs round to it.
    press("Tab")
    connect = tab_to(walk.main(), "Connect")
    # Its nudge border lies over its edge: the ring shows through it.
    wait_for_ring(walk, connect)
    walk.shot("tabbed-to-connect")
    press("Return")
    message = wait_for("the message that the server cannot be reached",
                       lambda: find(walk.main(), pyatspi.ROLE_ALERT, CANNOT_REACH), 60)
    wait_for("Connect to work again", lambda: walk.button(walk.main(), "Connect") and pyatspi.STATE_SENSITIVE
             in walk.button(walk.main(), "Connect").getState().getStates(), 30)
    focus = wait_for("a focused control", lambda: focused(walk.main()))
    walk.shot("failed-connect-focus")
    walk.expect(f"the message lies in view ({extents(message)} in {extents(walk.main())})",
                walk.within(message, walk.main()))
    walk.expect(f"the focus is on Connect or the message's first action (on [{focus.getRoleName()}] "
                f"{focus.name!r})", focus.getRole() == pyatspi.ROLE_PUSH_BUTTON and (
                    focus.name in ("Connect", "Try again", "Dismiss error") or focus.name.startswith("Use ")))
    walk.expect(f"the focused {focus.name!r} lies in view ({extents(focus)} in {extents(walk.main())})",
                walk.within(focus, walk.main()))
    wait_for_ring(walk, focus)
    # Return acts on what has the focus: Connect tries again, the message's action takes it away.
    press("Return")
    wait_for(f"Return on {focus.name!r} to act", lambda: find(walk.main(), pyatspi.ROLE_ALERT, CANNOT_REACH)
             is None, 30)
    xdotool("windowsize", "--sync", x_window("Tessaron"), 480, 640)
    walk.start_the_service()
    wait_for("the message of the second try, or none",
             lambda: walk.button(walk.main(), "Connect") and pyatspi.STATE_SENSITIVE
             in walk.button(walk.main(), "Connect").getState().getStates(), 60)
    banner = find(walk.main(), pyatspi.ROLE_ALERT)
    if banner is not None:
        click(wait_for("the dismiss button", lambda: walk.button(banner, "Dismiss error")))
        wait_for("the message to go", lambda: find(walk.main(), pyatspi.ROLE_ALERT) is None)


def sign_in_again_after_a_keyboard_sign_out(walk):
    """Signed out from Settings with the keyboard, Settings left open, Escape, and Return on Sign in: the
    sign-in sheet opens at its full size with the e-mail field in view and focused. Signs in again."""
    settings = walk.open_settings()
    row = wait_for("Sign out in Settings", lambda: walk.button(settings, "Sign out"), 20)
    walk.reveal(row, settings)
    tab_to(settings, "Sign out")
    press("Return")
    box = wait_for("the sign-out confirmation", lambda: next(
        (w for w in (walk.app().getChildAtIndex(i) for i in range(walk.app().childCount))
         if w is not None and w.name != "Settings" and is_showing(w) and walk.button(w, "Sign out")), None))
    tab_to(box, "Sign out", limit=6)
    press("Return")
    wait_for("Sign in in Settings", lambda: walk.button(walk.window("Settings"), "Sign in"), 30)
    press("Escape")
    wait_for("Escape to close Settings", lambda: walk.window("Settings") is None)
    primary = wait_for("the focus on Sign in", lambda: (f := focused(walk.main())) and f.name == "Sign in" and f)
    press("Return")
    sheet = wait_for("the sign-in sheet", walk.sheet)
    email = wait_for("the focus in the e-mail field",
                     lambda: (f := focused(walk.sheet())) and f.name == "Email" and f)
    time.sleep(0.3)
    walk.shot("sign-in-again")
    sheet = walk.sheet()
    bars = [bar for bar in find_all(sheet, pyatspi.ROLE_SCROLL_BAR)]
    walk.expect(f"the sheet opens at its full size ({extents(sheet)}, scroll bars: {len(bars)})",
                not bars and extents(sheet)[3] > 300)
    walk.expect(f"the e-mail field lies in view ({extents(email)} in {extents(sheet)})",
                walk.within(email, sheet))
    sent = len(re.findall(rf"e-mail code for {re.escape(LONG_EMAIL)}: (\d+)", walk.log()))
    type_text(LONG_EMAIL)
    press("Return")
    code = wait_for("the code field", lambda: walk.field(walk.sheet(), "Code"), 20)
    codes = wait_for("a new e-mail code in the local service's log", lambda: (
        found := re.findall(rf"e-mail code for {re.escape(LONG_EMAIL)}: (\d+)", walk.log())) and
        len(found) > sent and found)
    click(code)
    type_text(codes[-1])
    wait_for("the signed-in step", lambda: walk.sheet() is None or walk.button(walk.sheet(), "Done"), 20)
    if walk.sheet() is not None:
        click(walk.button(walk.sheet(), "Done"))
    wait_for("the sign-in sheet to close", lambda: walk.sheet() is None)


def copy_link_in_view_at_twice_the_scale(walk):
    """At twice the scale the link's page scrolls: a new link's "Copy link" takes the focus in view."""
    press("ctrl+comma")
    row = wait_for("the Windows / Android row", lambda: walk.button(walk.window("Settings"), "Windows / Android"), 20)
    row.queryAction().doAction(0)
    wait_for("the other-devices sheet", lambda: walk.sheet() and walk.sheet().name == "Windows / Android")
    # The link made at once scale is shown only once: resetting it shows the new one.
    main = wait_for("the focus on the page's main action", lambda: (f := focused(walk.sheet())) and f.name in (
        "Create link", "Reset link") and f, 20)
    press("Return")
    if main.name == "Reset link":
        box = wait_for("the reset confirmation", lambda: next(
            (w for w in (walk.app().getChildAtIndex(i) for i in range(walk.app().childCount))
             if w is not None and w.name != "Settings" and is_showing(w) and walk.button(w, "Cancel")
             and walk.button(w, "Reset link")), None))
        tab_to(box, "Reset link", limit=6)
        press("Return")
    copy = wait_for("the focus on Copy link", lambda: (f := focused(walk.sheet())) and f.name == "Copy link" and f, 20)
    wait_for("Copy link in view", lambda: walk.within(copy, walk.sheet()))
    walk.shot("copy-link-twice-the-scale")
    press("Escape")
    wait_for("the other-devices sheet to close", lambda: walk.sheet() is None)
    press("alt+F4")
    wait_for("the settings window to close", lambda: walk.window("Settings") is None)


# --- the tray's panel: beside its icon and inside the screen from its first open -----------------------------

PHASES = ("Disconnected", "Connecting", "Checking", "Connected", "Connection check failed", "Disconnecting")


class TrayHost:
    """An XEmbed tray along the bottom of the screen, at its right end, as many desktops have: the walk's own,
    gone again when the step ends. The application docks its icon into it as it comes."""

    def __enter__(self):
        self.process = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "24",
             "--transparent", "false"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *failure):
        self.process.terminate()
        self.process.wait(timeout=10)


def application_x_windows():
    """The application's mapped windows on the X server: (kind, box), the box in the screen's own pixels and
    the kind "utility" for a tool window."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "^tessaron$"],
                           capture_output=True, text=True).stdout.split()
    windows = []
    for window in found:
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        kind = subprocess.run(["xprop", "-id", window, "_NET_WM_WINDOW_TYPE"], capture_output=True,
                              text=True).stdout
        places = [re.search(rf"{key}:\s+(-?\d+)", info) for key in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        if all(places):  # not gone while read
            windows.append(("utility" if "UTILITY" in kind else "other", tuple(int(p.group(1)) for p in places)))
    return windows


def tray_icon_box():
    """The application's icon docked in the tray: its small window at the screen's foot."""
    height = screen_size()[1]
    return next((box for _, box in application_x_windows()
                 if box[2] <= 64 and box[3] <= 64 and box[1] + box[3] > height - 32), None)


def tray_panel_box():
    """The open tray panel, a tool window, as the X server has it."""
    return next((box for kind, box in application_x_windows() if kind == "utility"), None)


def tray_panel(walk):
    """The open tray panel as readers meet it: a window of the application named Tessaron, as the main window
    is, that offers to quit."""
    app = walk.app()
    windows = (app.getChildAtIndex(index) for index in range(app.childCount))
    return next((w for w in windows if w is not None and w.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW)
                 and w.name == "Tessaron" and is_showing(w) and walk.button(w, "Quit Tessaron")), None)


def application_windows(walk):
    """The application's windows as readers meet them: role, name and whether they show."""
    app = walk.app()
    windows = [app.getChildAtIndex(index) for index in range(app.childCount)]
    return [(w.getRoleName(), w.name, is_showing(w)) for w in windows if w is not None]


def main_x_window():
    """The main window on the X server: the largest of the windows named Tessaron (the tray's icon is one)."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tessaron$"], check=True,
                           capture_output=True, text=True).stdout.split()

    def area(window):
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        sizes = [re.search(rf"{key}:\s+(\d+)", info) for key in ("Width", "Height")]
        return int(sizes[0].group(1)) * int(sizes[1].group(1)) if all(sizes) else 0
    return max(found, key=area)


def screen_box(node, scale):
    """Node's place in the screen's own pixels: readers get places in the application's (scaled) ones."""
    return tuple(round(value * scale) for value in extents(node))


def click_at_scale(node, scale):
    x, y, width, height = screen_box(node, scale)
    xdotool("mousemove", "--sync", x + width // 2, y + height // 2, "click", 1)


def legibility(path, box):
    """The spread of grey levels inside box, in the screen's own pixels, on the screenshot."""
    x, y, width, height = box
    reply = subprocess.run(["convert", str(path), "-crop", f"{width}x{height}+{x}+{y}", "-colorspace", "Gray",
                            "-format", "%[fx:maxima-minima]", "info:"], check=True, capture_output=True, text=True)
    return float(reply.stdout)


def open_the_tray_panel(walk, icon, what):
    """Clicks the icon as a person does. The panel lies wholly inside the screen right above its icon at the
    screen's foot; its state, its primary action and its ways out show whole and legible; readers meet its
    parts in the order they stand; its node list scrolls down to its last row where the screen cannot hold
    it all. Returns the panel, its place on the X server and the application's scale."""
    x, y, width, height = icon
    xdotool("mousemove", "--sync", x + width // 2, y + height // 2, "click", 1)
    try:
        panel = wait_for(f"the tray panel ({what})", lambda: tray_panel(walk))
    except WalkFailure as failure:
        raise WalkFailure(f"{failure}; the application's windows: {application_x_windows()}, for readers "
                          f"{application_windows(walk)}") from failure
    box = wait_for(f"the tray panel on the X server ({what})", tray_panel_box)
    screen = screen_size()
    px, py, pwidth, pheight = box
    walk.expect(f"the panel lies inside the screen ({what}: {box} in {screen})",
                px >= 0 and py >= 0 and px + pwidth <= screen[0] and py + pheight <= screen[1])
    walk.expect(f"the panel stands right above its icon ({what}: {box}, icon {icon})",
                y - 12 <= py + pheight <= y and px <= x + width and x <= px + pwidth)
    scale = pwidth / extents(panel)[2]
    read = find_all(panel)
    header = next((n for n in read if n.name.startswith(PHASES)), None)
    nodes = next((n for n in read if n.name == "Nodes"), None)
    rows = [n for n in read if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and ", " in n.name]
    primary = walk.button(panel, "Connect") or walk.button(panel, "Disconnect")
    ways_out = [walk.button(panel, "Open Tessaron"), walk.button(panel, "Quit Tessaron")]
    parts = [header, nodes, primary] + ways_out
    walk.expect(f"the state, the list, the primary action and the ways out are found ({what}: "
                f"{[n.name if n else None for n in parts]}, {len(rows)} rows)", all(parts) and rows)
    shot = walk.shot(f"tray-panel-{what.replace(' ', '-')}")
    for part in [header, primary] + ways_out:
        walk.expect(f"{part.name!r} shows whole inside the panel ({what})", walk.within(part, panel))
        spread = legibility(shot, screen_box(part, scale))
        walk.expect(f"{part.name!r} is legible ({what}: grey spread {spread:.2f})", spread >= LEGIBLE)
    order = [read.index(part) for part in parts]
    tops = [extents(part)[1] for part in parts]
    walk.expect(f"readers meet the state, the list, the action and the ways out in the order they stand "
                f"({what}: positions {order}, tops {tops})", order == sorted(order) and tops == sorted(tops))
    bar = find(panel, pyatspi.ROLE_SCROLL_BAR)
    if bar is not None:
        list_x, list_y, list_width, list_height = screen_box(nodes, scale)
        xdotool("mousemove", "--sync", list_x + list_width // 2, list_y + list_height // 2)
        for _ in range(40):
            if walk.within(rows[-1], nodes):
                break
            xdotool("click", 5)
        walk.expect(f"the wheel scrolls the node list ({what})", bar.queryValue().currentValue > 0)
        walk.shot(f"tray-panel-{what.replace(' ', '-')}-scrolled")
    walk.expect(f"the last node row {rows[-1].name!r} can be brought into view ({what})",
                walk.within(rows[-1], nodes))
    return panel, box, scale


def close_the_tray_panel(walk):
    press("Escape")
    wait_for("Escape to close the tray panel", lambda: tray_panel_box() is None and tray_panel(walk) is None)


def tray_panel_beside_its_icon(walk):
    """The process's first open of the tray panel, with a tray at the screen's foot, and a second one in the
    same place."""
    with TrayHost():
        icon = wait_for("the application's icon in the tray", tray_icon_box, 20)
        _, first, _ = open_the_tray_panel(walk, icon, "first open")
        close_the_tray_panel(walk)
        _, second, _ = open_the_tray_panel(walk, icon, "second open")
        walk.expect(f"a second open takes the first one's place ({first} → {second})", first == second)
        close_the_tray_panel(walk)


def tray_panel_at_twice_the_scale(walk):
    """At twice the scale the screen holds half as much: the process's first open of the panel fits it all the
    same, its list scrolling. With the main window closed, the panel shows "Open Tessaron", which brings the
    window back."""
    with TrayHost():
        icon = wait_for("the application's icon in the tray", tray_icon_box, 20)
        open_the_tray_panel(walk, icon, "first open at twice the scale")
        close_the_tray_panel(walk)
        xdotool("windowactivate", "--sync", main_x_window())
        press("alt+F4")
        wait_for("the main window to close, the application staying in the tray", lambda: walk.main() is None)
        panel, _, scale = open_the_tray_panel(walk, icon, "with the window closed")
        click_at_scale(walk.button(panel, "Open Tessaron"), scale)
        wait_for("Open Tessaron to close the tray panel", lambda: tray_panel(walk) is None)
        wait_for("Open Tessaron to bring the main window back", walk.main, 20)


def latency_probes():
    """Connections to the nodes that closed lately (TIME_WAIT): each latency probe leaves one. The local
    service's nodes listen on 127.0.0.2 and up, its HTTPS endpoints on 127.0.0.1."""
    entries = set()
    for line in Path("/proc/net/tcp").read_text().splitlines()[1:]:
        fields = line.split()
        local, remote, state = fields[1], fields[2], fields[3]
        node_side = any(address[:8] != "0100007F" and address[6:8] == "7F" for address in (local, remote))
        if state == "06" and node_side:
            entries.add((local, remote))
    return entries


def cpu_seconds(pid, over):
    def used():
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    before = used()
    time.sleep(over)
    return used() - before


def x_window(name):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(name)}$"], check=True,
                          capture_output=True, text=True).stdout.split()[0]


def frame_box(name):
    """The window's frame as the window manager drew it, title bar included, in the screen's own pixels."""
    try:
        window = x_window(name)
    except (subprocess.CalledProcessError, IndexError):
        return None
    # xwininfo's absolute place is the client's own; xdotool's adds the frame's offset in once more.
    info = subprocess.run(["xwininfo", "-id", window], check=True, capture_output=True, text=True).stdout
    x, y, width, height = (int(re.search(rf"{key}:\s+(-?\d+)", info).group(1)) for key in (
        "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    extents = subprocess.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], capture_output=True,
                             text=True).stdout
    found = re.search(r"= (\d+), (\d+), (\d+), (\d+)", extents)
    left, right, top, bottom = (int(v) for v in found.groups()) if found else (0, 0, 0, 0)
    return x - left, y - top, width + left + right, height + top + bottom


def forget_saved_connections():
    """Removes every saved connection from the walk's keyring, as the application stores them."""
    import gi
    gi.require_version("Secret", "1")
    from gi.repository import Secret
    schema = Secret.Schema.new("com.hallmere.tessaron.GenericPassword", Secret.SchemaFlags.NONE,
                               {"service": Secret.SchemaAttributeType.STRING})
    while Secret.password_clear_sync(schema, {"service": "com.hallmere.tessaron.profile"}, None):
        pass


def accepts_connections(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def screen_size():
    reply = subprocess.run(["xdotool", "getdisplaygeometry"], check=True, capture_output=True, text=True)
    width, height = reply.stdout.split()
    return int(width), int(height)


def main():
    walk = Walk(sys.argv[1])
    steps = [walk.agree_to_privacy, bound(tab_through_sign_in, walk), bound(read_the_sign_in_sheet_in_order, walk),
             walk.sign_in, walk.add_invitation,
             walk.connect, bound(tray_panel_beside_its_icon, walk), walk.scroll_through_a_sample,
             walk.read_connection_log,
             bound(copy_part_of_a_log_line, walk),
             bound(tab_through_settings, walk), bound(escape_back_to_a_clicked_row_rings_it, walk),
             bound(read_the_tree, walk), walk.minimise_and_restore,
             walk.meet_an_error_with_nodes_listed, walk.long_names_fit_the_window,
             bound(read_in_the_screens_order, walk), walk.service_away_mid_run,
             bound(failed_connect_keeps_the_focus_in_sight, walk), walk.sign_in_with_a_long_address,
             walk.other_devices_without_a_browser, bound(sign_in_again_after_a_keyboard_sign_out, walk), walk.quit,
             bound(an_offline_start_opens_at_the_top, walk), walk.start_with_the_service_stopped, walk.come_back_online,
             walk.start_signed_in_without_a_connection, walk.start_at_twice_the_scale,
             bound(copy_link_in_view_at_twice_the_scale, walk), bound(tray_panel_at_twice_the_scale, walk),
             walk.quit]
    try:
        walk.start()
        for step in steps:
            print(f"walk: {step.__name__.replace('_', ' ')}")
            step()
    except WalkFailure as failure:
        walk.shot("failed")
        shown = [f"  [{n.getRoleName()}] {n.name!r}" for n in find_all(walk.app()) if n.name][:80]
        print("walk: what the application shows:\n" + "\n".join(shown), file=sys.stderr)
        print(f"walk failed: {failure}\n--- the end of {walk.log_path}:", file=sys.stderr)
        print("\n".join(walk.log().splitlines()[-30:]), file=sys.stderr)
        return 1
    finally:
        if getattr(walk, "run", None) and walk.run.poll() is None:
            walk.run.terminate()
            walk.run.wait(timeout=30)
        walk.stop_own_service()
    print(f"walk: passed in {time.monotonic() - walk.started:.1f} s; screenshots in {walk.shots}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
