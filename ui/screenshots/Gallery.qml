// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.App
import OrvelanNimbal.Panel
import OrvelanNimbal.Panel.Preview

// The panel over the stand-in model, put into one named state at a time. A state sets the
// model's values and may name what to type into fields and which tooltip to show; the tool does
// both, then takes the picture.
Rectangle {
    id: gallery

    readonly property var challenge: ({
            "account": "lea.martin@orvelan.net",
            "methods": ["totp", "recovery"],
            "expiresAt": new Date(Date.now() + 245500)
        })
    readonly property var states: ({
            "signin-empty": () => ({}),
            "signin-failed-long-message": () => {
                model.lastEmail = "lea.martin@orvelan.net";
                model.setStatus(AppStatus.Failed, "Le service Nimbal ne répond pas pour le moment. Vérifiez votre connexion à Internet, puis réessayez dans quelques minutes.");
                return {
                    "passwordField": "motdepasse"
                };
            },
            "signin-connecting": () => {
                model.lastEmail = "lea.martin@orvelan.net";
                model.setStatus(AppStatus.Connecting);
                return {
                    "passwordField": "motdepasse"
                };
            },
            "twofactor-code": () => {
                model.setStatus(AppStatus.TwoFactor, "", challenge);
                return {
                    "codeField": "4821"
                };
            },
            "twofactor-wrong-code": () => {
                model.setStatus(AppStatus.TwoFactor, "", challenge);
                model.twoFactorError = "Code invalide. Vérifiez l'heure de votre téléphone et réessayez.";
                return {};
            },
            "twofactor-recovery-code": () => {
                model.setStatus(AppStatus.TwoFactor, "", challenge);
                return {
                    "methodLink": "click",
                    "recoveryField": "k7qw-2zp4"
                };
            },
            "twofactor-passkey-with-recovery": () => {
                model.setStatus(AppStatus.TwoFactor, "", withChallenge(["webauthn", "recovery"], 245.5));
                return {};
            },
            "twofactor-passkey-without-recovery": () => {
                model.setStatus(AppStatus.TwoFactor, "", withChallenge(["webauthn", "totp-disabled"], 245.5));
                return {};
            },
            "twofactor-countdown-orange": () => {
                model.setStatus(AppStatus.TwoFactor, "", withChallenge(["totp"], 24.5));
                return {};
            },
            "twofactor-expired": () => {
                model.setStatus(AppStatus.TwoFactor, "", withChallenge(["totp"], -1));
                return {};
            },
            "status-quota-green": () => ready({
                    "liveStatus": live(LiveStatus.Connected)
                }),
            "status-quota-orange": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "quota": {
                        "usedMegabytes": 19660.8,
                        "maxMegabytes": 20480
                    }
                }),
            "status-quota-zero": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "quota": {
                        "usedMegabytes": 0,
                        "maxMegabytes": 0
                    }
                }),
            "status-live-connecting": () => ready({}, "liveIndicator"),
            "status-live-connected": () => ready({
                    "liveStatus": live(LiveStatus.Connected)
                }, "liveIndicator"),
            "status-live-disconnected": () => ready({
                    "liveStatus": live(LiveStatus.Disconnected, 5)
                }, "liveIndicator"),
            "status-live-unauthorized": () => ready({
                    "liveStatus": live(LiveStatus.Unauthorized)
                }, "liveIndicator"),
            "status-approval": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "extensionNeedsApproval": true
                }),
            "status-paused": () => {
                const end = new Date();
                end.setHours(14, 5, 0, 0);
                return ready({
                        "liveStatus": live(LiveStatus.Connected),
                        "syncPaused": true,
                        "pausedUntil": end
                    });
            },
            "status-update": () => {
                model.updater.pendingVersion = "1.5";
                return ready({
                        "liveStatus": live(LiveStatus.Connected)
                    }, "updateButton");
            },
            "status-conflict": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "conflictText": "Conflit sur « Budget 2026.ods » : votre version est gardée à côté, sous « Budget 2026 (conflit Linux 2026-03-14 09h12).ods ».",
                    "summary": {
                        "archivedFileCount": 24
                    }
                }),
            "status-dark": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "conflictText": "Conflit sur « Budget 2026.ods » : votre version est gardée à côté."
                }),
            "signin-dark": () => ({}),
            "status-transfer": () => ready({
                    "liveStatus": live(LiveStatus.Connected),
                    "transferLabel": "Envoi en cours… 42 %",
                    "lastSyncText": "Actualisé à 09:41"
                }, "refreshButton")
        })
    readonly property var stateNames: Object.keys(states)

    function withChallenge(methods, secondsLeft) {
        return {
            "account": challenge.account,
            "methods": methods,
            "expiresAt": new Date(Date.now() + secondsLeft * 1000)
        };
    }

    function live(kind, retryIn) {
        return {
            "kind": kind,
            "retryIn": retryIn ?? 0
        };
    }

    // A signed-in model with a few gigabytes used, plus `values`; `tooltip` names the control
    // whose tooltip is shown.
    function ready(values, tooltip) {
        model.account = "lea.martin@orvelan.net";
        model.quota = {
            "usedMegabytes": 1536,
            "maxMegabytes": 20480
        };
        model.launchAtLogin = true;
        for (const key in values)
            model[key] = values[key];
        model.setStatus(AppStatus.Ready);
        return tooltip ? {
            "tooltip": tooltip
        } : {};
    }

    // Puts the panel in the named state, then opens it as the user would; answers what to
    // type and which tooltip to show.
    function show(name) {
        const actions = states[name]();
        panel.appear();
        return actions;
    }

    color: Style.windowBackground
    implicitWidth: panel.implicitWidth
    implicitHeight: panel.implicitHeight

    StandInModel {
        id: model
    }
    MenuContent {
        id: panel

        model: model
        focus: true
    }
}
