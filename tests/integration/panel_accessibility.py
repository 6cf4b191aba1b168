#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the running application through the accessibility tree, as a screen-reader user
would: finds the sign-in fields by their names, types, presses "Se connecter", reads the
two-factor screen, enters the authenticator's code and waits for "Nimbal à jour".

Usage: panel_accessibility.py EMAIL PASSWORD TOTP_SECRET [SCREENSHOT_DIR]
With SCREENSHOT_DIR, the screen is saved there after each step (xwd and netpbm)."""

import os
import subprocess
import sys
import time

import pyatspi

# The application names itself by its display name (or, failing that, its program name).
APPLICATIONS = ("Orvelan Nimbal", "orvelan-nimbal")
STEP_TIMEOUT = 30.0


def log(message):
    print(f"panel: {message}", flush=True)


def nodes(root):
    """Every accessible under root, breadth first; nodes that vanish are skipped."""
    queue = [root]
    while queue:
        node = queue.pop(0)
        if node is None:
            continue
        yield node
        try:
            queue.extend(node[i] for i in range(node.childCount))
        except Exception:
            continue


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name in APPLICATIONS:
            return app
    return None


def wait_for(description, predicate, timeout=STEP_TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        app = application()
        if app is not None:
            for node in nodes(app):
                try:
                    if predicate(node):
                        return node
                except Exception:
                    continue
        time.sleep(0.2)
    raise SystemExit(f"panel: not found within {timeout:.0f} s: {description}")


def named(roles, name):
    """A showing accessible of one of the roles, by its accessible name."""
    roles = roles if isinstance(roles, tuple) else (roles,)

    def matches(node):
        return node.getRole() in roles and node.name == name and showing(node)
    return matches


def is_password_field(node):
    """The field named "Mot de passe"; Qt 6.4 leaves a masked field nameless over AT-SPI,
    whatever the view names it, so the form's one nameless masked field is it too."""
    role = node.getRole()
    return showing(node) and (
        (role in (pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_TEXT) and node.name == "Mot de passe")
        or (role == pyatspi.ROLE_PASSWORD_TEXT and node.name == ""))


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def type_into(field, text):
    """Focuses the field and types the text on the keyboard."""
    field.queryComponent().grabFocus()
    time.sleep(0.2)
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)


def press(button):
    action = button.queryAction()
    for index in range(action.nActions):
        if action.getName(index) in ("press", "Press", "click"):
            action.doAction(index)
            return
    action.doAction(0)


def what_it_hands_out(node):
    """Every text an assistive technology can read of one accessible: its name, description,
    text (whole, and by character, word and line) and value."""
    texts = [node.name or "", node.description or ""]
    try:
        text = node.queryText()
        texts.append(text.getText(0, -1) or "")
        for boundary in (pyatspi.TEXT_BOUNDARY_CHAR, pyatspi.TEXT_BOUNDARY_WORD_START,
                         pyatspi.TEXT_BOUNDARY_LINE_START):
            texts.append(text.getTextAtOffset(0, boundary)[0] or "")
        texts.extend(text.getText(*text.getSelection(i)) or "" for i in range(text.getNSelections()))
    except NotImplementedError:
        pass
    try:
        texts.append(str(node.queryValue().currentValue))
    except NotImplementedError:
        pass
    return texts


def check_password_hidden(password_field, password):
    """The password field is a password field, and nothing in the application's whole tree,
    the field included, hands the typed password to a client that asks for it."""
    if password_field.getRole() != pyatspi.ROLE_PASSWORD_TEXT:
        raise SystemExit(f"panel: the password field is a {password_field.getRoleName()}")
    leaks = []
    for node in nodes(application()):
        try:
            if any(password in text for text in what_it_hands_out(node)):
                leaks.append(f"{node.getRoleName()} « {node.name} »")
        except Exception:
            continue
    if leaks:
        raise SystemExit(f"panel: the typed password is handed out by {', '.join(leaks)}")


def screenshot(folder, step):
    if not folder:
        return
    path = os.path.join(folder, f"{step}.png")
    with open(path, "wb") as out:
        xwd = subprocess.Popen(["xwd", "-root", "-silent"], stdout=subprocess.PIPE)
        pnm = subprocess.Popen(["xwdtopnm"], stdin=xwd.stdout, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        subprocess.run(["pnmtopng"], stdin=pnm.stdout, stdout=out, stderr=subprocess.DEVNULL,
                       check=True)
    print(path, flush=True)


def current_code(secret):
    return subprocess.run(["oathtool", "--totp", "--base32", secret], check=True,
                          capture_output=True, text=True).stdout.strip()


def main():
    email, password, secret = sys.argv[1:4]
    shots = sys.argv[4] if len(sys.argv) > 4 else ""

    email_field = wait_for("the e-mail field", named(pyatspi.ROLE_TEXT, "Adresse e-mail"))
    password_field = wait_for("the password field", is_password_field)
    screenshot(shots, "1-sign-in")
    log("sign-in form found: e-mail and password fields")
    type_into(email_field, email)
    type_into(password_field, password)
    check_password_hidden(password_field, password)
    log("password field: marked as one, its text handed to no one")
    # Shown in clear, it is still nobody's to read through the tree.
    press(wait_for("the reveal button", named(pyatspi.ROLE_PUSH_BUTTON, "Afficher le mot de passe")))
    time.sleep(0.3)
    check_password_hidden(wait_for("the revealed password field", is_password_field), password)
    press(wait_for("the mask button", named(pyatspi.ROLE_PUSH_BUTTON, "Masquer le mot de passe")))
    press(wait_for("the sign-in button", named(pyatspi.ROLE_PUSH_BUTTON, "Se connecter")))
    log("« Se connecter » pressed")

    wait_for("the two-factor heading", named(pyatspi.ROLE_HEADING, "Double authentification"))
    prompt = wait_for("the two-factor prompt", lambda node: node.name.startswith(
        "Saisissez le code de votre application d'authentification pour ") and showing(node))
    log(f"two-factor screen read: {prompt.name}")
    screenshot(shots, "2-two-factor")
    code_field = wait_for("the code field", named(pyatspi.ROLE_TEXT, "Code de vérification"))
    # A code about to roll over would expire on the way: wait for the next one.
    if 30 - int(time.time()) % 30 < 5:
        time.sleep(6)
    type_into(code_field, current_code(secret))
    log("code typed: six digits send themselves")

    wait_for("the status line", lambda node: node.name == "Nimbal à jour" and showing(node),
             timeout=60)
    log("« Nimbal à jour »")
    screenshot(shots, "3-signed-in")


if __name__ == "__main__":
    main()
