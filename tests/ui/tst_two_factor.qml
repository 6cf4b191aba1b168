// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtTest
import OrvelanNimbal.App
import OrvelanNimbal.Panel
import OrvelanNimbal.Panel.Preview

// The two-factor screen: what reaches the model from the code field, and the countdown.
Item {
    id: root

    width: 320
    height: 480

    TestCase {
        id: testCase

        name: "TwoFactor"
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
            id: viewComponent

            TwoFactorView {
                width: 288
            }
        }
        Component {
            id: countdownComponent

            ExpiryCountdown {
                ticking: false
            }
        }

        function challenge(methods) {
            return {
                "account": "lea@orvelan.net",
                "methods": methods,
                "expiresAt": new Date(Date.now() + 300000)
            };
        }

        function makeView(methods) {
            const model = createTemporaryObject(modelComponent, root);
            const c = challenge(methods);
            model.setStatus(AppStatus.TwoFactor, "", c);
            const view = make(viewComponent, {
                    "model": model,
                    "challenge": model.status.challenge
                });
            view.appear();
            return view;
        }

        function type(field, text) {
            field.forceActiveFocus();
            field.insert(field.cursorPosition, text);
        }

        function test_digitFilter_data() {
            return [{
                    "tag": "ascii digits, letters left out",
                    "typed": "12a3b4",
                    "kept": "1234",
                    "submitted": []
                }, {
                    "tag": "a seventh digit is cut off",
                    "typed": "1234567",
                    "kept": "123456",
                    "submitted": ["123456"]
                }, {
                    "tag": "digits of other scripts are numbers too",
                    "typed": "١٢٣٤٥٦",
                    "kept": "١٢٣٤٥٦",
                    "submitted": ["١٢٣٤٥٦"]
                }, {
                    "tag": "pasted with a space in the middle",
                    "typed": "123 456",
                    "kept": "123456",
                    "submitted": ["123456"]
                }, {
                    "tag": "digits beyond the basic plane count one each",
                    "typed": "𝟏𝟐𝟑𝟒𝟓𝟔",
                    "kept": "𝟏𝟐𝟑𝟒𝟓𝟔",
                    "submitted": ["𝟏𝟐𝟑𝟒𝟓𝟔"]
                }, {
                    "tag": "a seventh digit beyond the basic plane is cut off",
                    "typed": "𝟗𝟖𝟕𝟔𝟓𝟒𝟑",
                    "kept": "𝟗𝟖𝟕𝟔𝟓𝟒",
                    "submitted": ["𝟗𝟖𝟕𝟔𝟓𝟒"]
                }, {
                    "tag": "five digits beyond the basic plane are not enough",
                    "typed": "𝟏𝟐𝟑𝟒𝟓",
                    "kept": "𝟏𝟐𝟑𝟒𝟓",
                    "submitted": []
                }, {
                    "tag": "full-width digits",
                    "typed": "９８７６５",
                    "kept": "９８７６５",
                    "submitted": []
                }];
        }

        function test_digitFilter(data) {
            const view = makeView(["totp", "recovery"]);
            const field = findChild(view, "codeField");
            type(field, data.typed);
            compare(field.text, data.kept);
            compare(view.code, data.kept);
            compare(view.model.callsOf("submitCode").map(c => c.args[2]), data.submitted);
        }

        function test_sixthDigitSubmitsOnce() {
            const view = makeView(["totp"]);
            const field = findChild(view, "codeField");
            type(field, "12345");
            compare(view.model.callsOf("submitCode").length, 0);
            type(field, "6");
            const calls = view.model.callsOf("submitCode");
            compare(calls.length, 1);
            compare(calls[0].args.slice(1), [false, "123456", true]);
            compare(calls[0].args[0].account, "lea@orvelan.net");

            // While the check runs, six digits again do not send a second time.
            field.remove(5, 6);
            type(field, "7");
            compare(field.text, "123457");
            compare(view.model.callsOf("submitCode").length, 1);
            verify(!findChild(view, "verifyButton").enabled);
        }

        function test_recoveryCanSubmit_data() {
            return [{
                    "tag": "empty",
                    "typed": "",
                    "can": false
                }, {
                    "tag": "spaces and tabs only",
                    "typed": "  \t \u00a0",
                    "can": false
                }, {
                    "tag": "spaces around, sent as typed",
                    "typed": "  abcd-1234 ",
                    "can": true
                }, {
                    "tag": "any length",
                    "typed": "x",
                    "can": true
                }];
        }

        function test_recoveryCanSubmit(data) {
            const view = makeView(["totp", "recovery"]);
            mouseClick(findChild(view, "methodLink"));
            verify(view.useRecovery);
            const field = findChild(view, "recoveryField");
            verify(field.activeFocus);
            type(field, data.typed);
            compare(view.canSubmit, data.can);
            keyClick(Qt.Key_Return);
            const calls = view.model.callsOf("submitCode");
            compare(calls.length, data.can ? 1 : 0);
            if (data.can)
                compare(calls[0].args.slice(1), [true, data.typed, true]);
        }

        function test_switchingMethodEmptiesTheCode() {
            const view = makeView(["totp", "recovery"]);
            type(findChild(view, "codeField"), "123");
            const link = findChild(view, "methodLink");
            compare(link.text, "Utiliser un code de secours");
            mouseClick(link);
            compare(view.code, "");
            compare(link.text, "Utiliser l'application");
            type(findChild(view, "recoveryField"), "abc");
            mouseClick(link);
            compare(view.code, "");
            compare(findChild(view, "codeField").text, "");
            compare(findChild(view, "recoveryField").text, "");
        }

        function test_returnPressesTheDefaultButton_data() {
            return [{
                    "tag": "passkey notice: the account's page",
                    "methods": ["webauthn", "recovery"],
                    "recovery": false,
                    "typed": "",
                    "opens": 1,
                    "submits": 0
                }, {
                    "tag": "a recovery code: it is sent",
                    "methods": ["totp", "recovery"],
                    "recovery": true,
                    "typed": "abcd-1234",
                    "opens": 0,
                    "submits": 1
                }, {
                    "tag": "five digits: nothing yet",
                    "methods": ["totp"],
                    "recovery": false,
                    "typed": "12345",
                    "opens": 0,
                    "submits": 0
                }];
        }

        function test_returnPressesTheDefaultButton(data) {
            const view = makeView(data.methods);
            const opened = [];
            view.openExternally = url => opened.push(url.toString());
            if (data.recovery)
                view.switchMethod(true);
            if (data.typed !== "")
                type(findChild(view, data.recovery ? "recoveryField" : "codeField"), data.typed);
            else
                view.forceActiveFocus();
            keyClick(Qt.Key_Return);
            compare(opened.length, data.opens);
            if (data.opens > 0)
                verify(opened[0].endsWith("/security"), opened[0]);
            compare(view.model.callsOf("submitCode").length, data.submits);
        }

        function test_whatEachChallengeShows_data() {
            return [{
                    "tag": "authenticator and recovery",
                    "methods": ["totp", "recovery"],
                    "field": true,
                    "notice": false,
                    "methodLink": true
                }, {
                    "tag": "authenticator only",
                    "methods": ["totp"],
                    "field": true,
                    "notice": false,
                    "methodLink": false
                }, {
                    "tag": "recovery only: the passkey notice with its link",
                    "methods": ["recovery", "webauthn"],
                    "field": false,
                    "notice": true,
                    "methodLink": false
                }];
        }

        function test_whatEachChallengeShows(data) {
            const view = makeView(data.methods);
            compare(findChild(view, "codeField").visible, data.field);
            compare(findChild(view, "passkeyNotice").visible, data.notice);
            compare(findChild(view, "methodLink").visible, data.methodLink);
            if (data.notice) {
                compare(findChild(view, "subtitle").text, "Cette boîte demande une clé d'accès.");
                mouseClick(findChild(view, "passkeyRecoveryLink"));
                verify(findChild(view, "recoveryField").visible);
                verify(findChild(view, "recoveryField").activeFocus);
                verify(!findChild(view, "passkeyNotice").visible);
                verify(!findChild(view, "methodLink").visible);
            }
        }

        function test_countdown_data() {
            return [{
                    "tag": "245 s",
                    "left": 245000,
                    "text": "Expire dans 4:05",
                    "orange": false
                }, {
                    "tag": "31 s",
                    "left": 31000,
                    "text": "Expire dans 0:31",
                    "orange": false
                }, {
                    "tag": "30 s",
                    "left": 30000,
                    "text": "Expire dans 0:30",
                    "orange": true
                }, {
                    "tag": "1.9 s",
                    "left": 1900,
                    "text": "Expire dans 0:01",
                    "orange": true
                }, {
                    "tag": "0.4 s",
                    "left": 400,
                    "text": "Expiré",
                    "orange": true
                }, {
                    "tag": "past",
                    "left": -5000,
                    "text": "Expiré",
                    "orange": true
                }];
        }

        // The figures all have one width: the text never shifts as it ticks.
        function test_countdownKeepsItsWidth() {
            const now = new Date(2026, 0, 1, 12, 0, 0);
            const widths = [111000, 488000, 245000, 30000].map(left => {
                const countdown = createTemporaryObject(countdownComponent, root, {
                        "now": now,
                        "expiresAt": new Date(now.getTime() + left)
                    });
                return countdown.implicitWidth;
            });
            compare(widths.filter(width => width !== widths[0]), []);
        }

        function test_countdown(data) {
            const now = new Date(2026, 0, 1, 12, 0, 0);
            const countdown = createTemporaryObject(countdownComponent, root, {
                    "now": now,
                    "expiresAt": new Date(now.getTime() + data.left)
                });
            compare(countdown.text, data.text);
            compare(sameColour(countdown.color, Style.orange), data.orange);
            compare(sameColour(countdown.color, Style.secondary), !data.orange);
        }
    }
}
