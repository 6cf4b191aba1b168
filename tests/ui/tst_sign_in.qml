// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtTest
import OrvelanNimbal.App
import OrvelanNimbal.Panel
import OrvelanNimbal.Panel.Preview

// The sign-in form: when it may submit, what it hands the model, where Return and Tab go, and
// the rule that keeps what was typed for as long as the form stays on screen.
Item {
    id: root

    width: 320
    height: 520

    TestCase {
        id: testCase

        name: "SignIn"
        when: windowShown

        property var views: []

        function make(component, properties) {
            const view = component.createObject(root, properties);
            views.push(view);
            return view;
        }

        // Views go before the stand-in models they read, which the test case destroys next.
        function cleanup() {
            views.forEach(view => view.destroy());
            views = [];
        }

        // Colours as the scene graph keeps them, eight bits a channel.
        function sameColour(a, b) {
            return Qt.color(a).toString() === Qt.color(b).toString();
        }

        Component {
            id: modelComponent

            StandInModel {}
        }
        Component {
            id: panelComponent

            MenuContent {}
        }

        function makePanel(lastEmail) {
            const model = createTemporaryObject(modelComponent, root, {
                    "lastEmail": lastEmail ?? ""
                });
            const panel = make(panelComponent, {
                    "model": model
                });
            panel.forceActiveFocus();
            return panel;
        }

        function type(field, text) {
            field.forceActiveFocus();
            field.insert(field.cursorPosition, text);
        }

        function test_submit_data() {
            return [{
                    "tag": "both fields",
                    "email": "lea@orvelan.net",
                    "password": "secret",
                    "sent": ["lea@orvelan.net", "secret"]
                }, {
                    "tag": "spaces and tabs around the e-mail go, the password stays as typed",
                    "email": " \tlea@orvelan.net\u00a0 ",
                    "password": " secret ",
                    "sent": ["lea@orvelan.net", " secret "]
                }, {
                    "tag": "an e-mail of spaces still enables the button and sends nothing",
                    "email": "   ",
                    "password": "secret",
                    "sent": ["", "secret"]
                }, {
                    "tag": "no password",
                    "email": "lea@orvelan.net",
                    "password": "",
                    "sent": null
                }, {
                    "tag": "no e-mail",
                    "email": "",
                    "password": "secret",
                    "sent": null
                }];
        }

        function test_submit(data) {
            const panel = makePanel();
            type(findChild(panel, "emailField"), data.email);
            type(findChild(panel, "passwordField"), data.password);
            compare(findChild(panel, "signInButton").enabled, data.sent !== null);
            keyClick(Qt.Key_Return);
            const calls = panel.model.callsOf("signIn");
            compare(calls.length, data.sent ? 1 : 0);
            if (data.sent)
                compare(calls[0].args, data.sent);
        }

        function test_returnAndFocus() {
            const panel = makePanel();
            const email = findChild(panel, "emailField");
            const password = findChild(panel, "passwordField");
            verify(email.activeFocus);
            // Return in the e-mail field moves on, even when it is empty.
            keyClick(Qt.Key_Return);
            verify(password.activeFocus);
            compare(panel.model.callsOf("signIn").length, 0);

            // While connecting the button spins, is disabled, and Return does nothing.
            type(email, "lea@orvelan.net");
            type(password, "secret");
            panel.model.setStatus(AppStatus.Connecting);
            const button = findChild(panel, "signInButton");
            verify(button.busy);
            verify(!button.enabled);
            keyClick(Qt.Key_Return);
            compare(panel.model.callsOf("signIn").length, 0);
        }

        function test_appearancePrefillsAndFocuses() {
            const fresh = makePanel("");
            verify(findChild(fresh, "emailField").activeFocus);
            const known = makePanel("lea@orvelan.net");
            compare(findChild(known, "emailField").text, "lea@orvelan.net");
            verify(findChild(known, "passwordField").activeFocus);
        }

        function test_revealKeepsTextAndFocus() {
            const panel = makePanel("lea@orvelan.net");
            const password = findChild(panel, "passwordField");
            type(password, "secret");
            const reveal = findChild(panel, "revealButton");
            compare(reveal.tip, "Afficher le mot de passe");
            reveal.clicked();
            compare(password.echoMode, TextInput.Normal);
            compare(reveal.tip, "Masquer le mot de passe");
            compare(password.text, "secret");
            verify(password.activeFocus);
            reveal.clicked();
            compare(password.echoMode, TextInput.Password);
            verify(password.activeFocus);
        }

        // Tab walks the fields and buttons in reading order, each known by its accessible name.
        function test_tabOrder() {
            const panel = makePanel();
            type(findChild(panel, "emailField"), "lea@orvelan.net");
            type(findChild(panel, "passwordField"), "secret");
            findChild(panel, "emailField").forceActiveFocus();
            const seen = [];
            for (let i = 0; i < 5; ++i) {
                keyClick(Qt.Key_Tab);
                let item = panel.Window.activeFocusItem;
                while (item && !item.Accessible.name)
                    item = item.parent;
                seen.push(item.Accessible.name);
            }
            compare(seen, ["Mot de passe", "Afficher le mot de passe", "Se connecter", "Quitter Orvelan Nimbal", "Adresse e-mail"]);
        }

        function test_localStateFollowsTheBranch() {
            const panel = makePanel("old@orvelan.net");
            const model = panel.model;
            const email = () => findChild(panel, "emailField");
            const password = () => findChild(panel, "passwordField");
            email().clear();
            type(email(), "lea@orvelan.net");
            type(password(), "secret");

            // Signed out, connecting and failed are one branch: the same form, as typed.
            const form = panel.screen;
            model.setStatus(AppStatus.Connecting);
            model.setStatus(AppStatus.Failed, "Adresse e-mail ou mot de passe incorrect.");
            compare(panel.screen, form);
            compare(email().text, "lea@orvelan.net");
            compare(password().text, "secret");
            const banner = findChild(panel, "errorBanner");
            verify(banner.visible);
            compare(banner.text, "Adresse e-mail ou mot de passe incorrect.");

            // A two-factor step in between gives a fresh form, the e-mail back from lastEmail.
            model.lastEmail = "lea@orvelan.net";
            model.setStatus(AppStatus.TwoFactor, "", {
                    "account": "lea@orvelan.net",
                    "methods": ["totp"],
                    "expiresAt": new Date(Date.now() + 60000)
                });
            verify(panel.screen !== form);
            type(findChild(panel, "codeField"), "12");
            model.setStatus(AppStatus.Failed, "La vérification a expiré. Saisissez de nouveau votre mot de passe.");
            compare(email().text, "lea@orvelan.net");
            compare(password().text, "");
            compare(password().echoMode, TextInput.Password);
            verify(password().activeFocus);

            // The two-factor screen keeps its code for as long as the model stays there.
            model.setStatus(AppStatus.TwoFactor, "", {
                    "account": "lea@orvelan.net",
                    "methods": ["totp"],
                    "expiresAt": new Date(Date.now() + 60000)
                });
            type(findChild(panel, "codeField"), "12");
            model.twoFactorError = "Code invalide.";
            compare(findChild(panel, "codeField").text, "12");
            verify(findChild(panel, "codeError").visible);

            // Going back clears the error and shows the form, its e-mail still there.
            mouseClick(findChild(panel, "backButton"));
            compare(model.callsOf("cancelTwoFactor").length, 1);
            compare(model.twoFactorError, "");
            compare(email().text, "lea@orvelan.net");
            verify(password().activeFocus);
        }
    }
}
