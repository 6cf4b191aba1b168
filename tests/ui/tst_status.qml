// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtTest
import OrvelanNimbal.App
import OrvelanNimbal.Panel
import OrvelanNimbal.Panel.Preview

// The status screen's decisions: quota colours and amounts, the live indicator, the tips and
// the busy refresh, and the fast tooltip's timing.
Item {
    id: root

    width: 320
    height: 640

    TestCase {
        id: testCase

        name: "Status"
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

            StatusView {
                width: 288
            }
        }
        Component {
            id: quotaComponent

            QuotaBar {
                width: 288
            }
        }

        function makeView(properties) {
            const model = createTemporaryObject(modelComponent, root, properties ?? {});
            model.setStatus(AppStatus.Ready);
            return make(viewComponent, {
                    "model": model
                });
        }

        function test_quota_data() {
            return [{
                    "tag": "1.5 of 20 GB",
                    "used": 1536,
                    "max": 20480,
                    "usedText": "1,5\u00a0Go utilisés",
                    "maxText": "sur 20\u00a0Go",
                    "orange": false,
                    "fraction": 0.075
                }, {
                    "tag": "exactly 90 % stays green",
                    "used": 9216,
                    "max": 10240,
                    "usedText": "9,0\u00a0Go utilisés",
                    "maxText": "sur 10\u00a0Go",
                    "orange": false,
                    "fraction": 0.9
                }, {
                    "tag": "95 % turns orange",
                    "used": 9728,
                    "max": 10240,
                    "usedText": "9,5\u00a0Go utilisés",
                    "maxText": "sur 10\u00a0Go",
                    "orange": true,
                    "fraction": 0.95
                }, {
                    "tag": "over the maximum: full bar, orange",
                    "used": 12288,
                    "max": 10240,
                    "usedText": "12,0\u00a0Go utilisés",
                    "maxText": "sur 10\u00a0Go",
                    "orange": true,
                    "fraction": 1
                }, {
                    "tag": "no maximum: empty and green",
                    "used": 0,
                    "max": 0,
                    "usedText": "0,0\u00a0Go utilisés",
                    "maxText": "sur 0\u00a0Go",
                    "orange": false,
                    "fraction": 0
                }, {
                    "tag": "French grouping of thousands",
                    "used": 1048576,
                    "max": 2097152,
                    "usedText": "1\u202f024,0\u00a0Go utilisés",
                    "maxText": "sur 2\u202f048\u00a0Go",
                    "orange": false,
                    "fraction": 0.5
                }];
        }

        function test_quota(data) {
            const bar = createTemporaryObject(quotaComponent, root, {
                    "quota": {
                        "usedMegabytes": data.used,
                        "maxMegabytes": data.max
                    }
                });
            compare(bar.usedText, data.usedText);
            compare(bar.maximumText, data.maxText);
            compare(sameColour(bar.tint, Style.orange), data.orange);
            fuzzyCompare(bar.fraction, data.fraction, 1e-9);
        }

        function test_quotaShownOnlyWhenRead() {
            const view = makeView();
            verify(!findChild(view, "quotaBar").visible);
            view.model.quota = {
                "usedMegabytes": 1,
                "maxMegabytes": 2
            };
            verify(findChild(view, "quotaBar").visible);
        }

        function test_liveIndicator_data() {
            return [{
                    "tag": "before the first report",
                    "status": undefined,
                    "colour": Style.secondary,
                    "tip": "Temps réel en cours de connexion"
                }, {
                    "tag": "connected",
                    "status": {
                        "kind": LiveStatus.Connected,
                        "retryIn": 0
                    },
                    "colour": Style.brandGreen,
                    "tip": "Synchronisation en temps réel active"
                }, {
                    "tag": "disconnected, retry in 5 s",
                    "status": {
                        "kind": LiveStatus.Disconnected,
                        "retryIn": 5
                    },
                    "colour": Style.orange,
                    "tip": "Temps réel interrompu, nouvel essai dans 5 s"
                }, {
                    "tag": "unauthorized",
                    "status": {
                        "kind": LiveStatus.Unauthorized,
                        "retryIn": 0
                    },
                    "colour": Style.secondary,
                    "tip": "Temps réel arrêté : reconnectez-vous"
                }];
        }

        function test_liveIndicator(data) {
            const view = makeView({
                    "liveStatus": data.status
                });
            const indicator = findChild(view, "liveIndicator");
            verify(sameColour(indicator.dotColor, data.colour));
            compare(indicator.tooltip.text, data.tip);
            compare(indicator.Accessible.name, data.tip);
        }

        function test_refreshTip_data() {
            return [{
                    "tag": "never refreshed",
                    "lastSync": "",
                    "tip": "Actualiser maintenant"
                }, {
                    "tag": "after a refresh",
                    "lastSync": "Actualisé à 14:05",
                    "tip": "Actualiser maintenant · Actualisé à 14:05"
                }];
        }

        function test_refreshTip(data) {
            const view = makeView({
                    "lastSyncText": data.lastSync
                });
            const refresh = findChild(view, "refreshButton");
            compare(refresh.tip, data.tip);
            compare(refresh.tooltip.text, data.tip);
        }

        function test_refreshIgnoresPressesWhileBusy() {
            const view = makeView({
                    "isSynchronizing": true
                });
            const refresh = findChild(view, "refreshButton");
            verify(refresh.busy);
            mouseClick(refresh);
            compare(view.model.callsOf("refreshNow").length, 0);
            view.model.isSynchronizing = false;
            mouseClick(refresh);
            compare(view.model.callsOf("refreshNow").length, 1);
        }

        function test_statusLine_data() {
            const fivepast2 = new Date();
            fivepast2.setHours(14, 5, 0, 0);
            return [{
                    "tag": "up to date",
                    "transfer": "",
                    "approval": false,
                    "text": "Nimbal à jour",
                    "symbol": "checkmark.circle.fill"
                }, {
                    "tag": "waiting for approval",
                    "transfer": "",
                    "approval": true,
                    "text": "En attente d'autorisation",
                    "symbol": "hourglass"
                }, {
                    "tag": "a transfer wins over the approval",
                    "transfer": "Envoi en cours… 40 %",
                    "approval": true,
                    "text": "Envoi en cours… 40 %",
                    "symbol": "hourglass"
                }, {
                    "tag": "paused until resumed",
                    "transfer": "",
                    "approval": false,
                    "paused": true,
                    "text": "Synchronisation en pause",
                    "symbol": "pause.circle.fill"
                }, {
                    "tag": "paused until a time today",
                    "transfer": "",
                    "approval": false,
                    "paused": true,
                    "until": fivepast2,
                    "text": "Synchronisation en pause jusqu'à 14:05",
                    "symbol": "pause.circle.fill"
                }, {
                    "tag": "an end without a pause is not shown",
                    "transfer": "",
                    "approval": false,
                    "paused": false,
                    "until": fivepast2,
                    "text": "Nimbal à jour",
                    "symbol": "checkmark.circle.fill"
                }, {
                    "tag": "the approval wins over the pause",
                    "transfer": "",
                    "approval": true,
                    "paused": true,
                    "text": "En attente d'autorisation",
                    "symbol": "hourglass"
                }];
        }

        function test_statusLine(data) {
            const properties = {
                "transferLabel": data.transfer,
                "extensionNeedsApproval": data.approval,
                "syncPaused": data.paused ?? false,
                "account": "lea@orvelan.net"
            };
            if (data.until)
                properties.pausedUntil = data.until;
            const view = makeView(properties);
            compare(findChild(view, "statusText").text, data.text);
            compare(findChild(view, "approvalCard").visible, data.approval);
            compare(findChild(view, "statusSymbol").symbol, data.symbol);
        }

        function test_updateNotices() {
            const view = makeView();
            const button = findChild(view, "updateButton");
            verify(!findChild(view, "updateBanner").visible);
            verify(!findChild(view, "updateBadge").visible);
            compare(button.tip, "Rechercher les mises à jour · version 1.4 (27)");
            view.model.updater.pendingVersion = "1.5";
            verify(findChild(view, "updateBanner").visible);
            verify(findChild(view, "updateBadge").visible);
            compare(button.tip, "Installer la version 1.5");
            mouseClick(findChild(view, "installButton"));
            button.clicked();
            compare(view.model.updater.checks, 2);
        }

        // A build that does not update itself offers no update button.
        function test_updateButtonOnlyWhenSelfUpdating() {
            const view = makeView();
            verify(findChild(view, "updateButton").visible);
            view.model.updater.enabled = false;
            verify(!findChild(view, "updateButton").visible);
        }

        function test_conflictBanner() {
            const view = makeView();
            verify(!findChild(view, "conflictBanner").visible);
            view.model.conflictText = "Conflit sur « budget.ods » : les deux versions sont gardées.";
            verify(findChild(view, "conflictBanner").visible);
            findChild(view, "dismissConflict").clicked();
            compare(view.model.callsOf("dismissConflicts").length, 1);
        }

        function test_actionsReachTheModel_data() {
            return [{
                    "tag": "the login items' settings link: the model's one way there",
                    "shown": {
                        "launchAtLoginNeedsApproval": true
                    },
                    "control": "loginItemsSettingsLink",
                    "call": "openSettings"
                }, {
                    "tag": "the approval card's button",
                    "shown": {
                        "extensionNeedsApproval": true
                    },
                    "control": "approvalButton",
                    "call": "reactivate"
                }];
        }

        function test_actionsReachTheModel(data) {
            const view = makeView(data.shown);
            const control = findChild(view, data.control);
            verify(control.visible);
            mouseClick(control);
            compare(view.model.calls.map(c => c.name).filter(name => name === data.call), [data.call]);
        }

        // However long the account, the texts keep 28 points from the live indicator: the
        // header's 10-point spacing on each side of a flexible space of at least 8.
        function test_headerGap() {
            const view = makeView({
                    "account": "une.adresse.vraiment.tres.longue.pour.un.panneau@orvelan.net"
                });
            const texts = findChild(view, "headerTexts");
            const indicator = findChild(view, "liveIndicator");
            const textsEnd = texts.mapToItem(view, texts.width, 0).x;
            compare(indicator.mapToItem(view, 0, 0).x - textsEnd, 28);
        }

        // The tooltip waits a quarter of a second, and goes the moment the pointer leaves.
        function test_tooltipTiming() {
            const view = makeView();
            const folder = findChild(view, "folderButton");
            const tooltip = folder.tooltip;
            const bubble = findChild(tooltip, "tooltipBubble");
            mouseMove(folder, folder.width / 2, folder.height / 2);
            wait(200);
            verify(!tooltip.shown);
            mouseMove(view, 1, 1);
            wait(100);
            verify(!tooltip.shown);

            const entered = Date.now();
            mouseMove(folder, folder.width / 2, folder.height / 2);
            tryVerify(() => tooltip.shown, 1000);
            verify(Date.now() - entered >= 240);
            tryVerify(() => bubble.opacity === 1, 1000);
            compare(tooltip.text, "Ouvrir dans le gestionnaire de fichiers");
            // Above the button, its left edge on the button's.
            compare(bubble.x, 0);
            compare(bubble.y, -30);
            // Its shadow falls one point down: at most 18 % black just under the bubble, and
            // nothing a few points further.
            const image = grabImage(root);
            const lightness = y => {
                const at = bubble.mapToItem(root, bubble.width / 2, bubble.height + y);
                return image.pixel(Math.round(at.x), Math.round(at.y)).hslLightness;
            };
            const clear = lightness(14);
            verify(lightness(1) < clear - 0.02, "no shadow under the bubble");
            verify(lightness(1) > clear - 0.19, "a shadow darker than 18 % black");
            compare(lightness(12), clear);

            mouseMove(view, 1, 1);
            verify(!tooltip.shown);
            compare(bubble.opacity, 0);
            verify(!bubble.visible);
        }

        function test_busyIconButtonStillShowsItsTip() {
            const view = makeView({
                    "isSynchronizing": true
                });
            const refresh = findChild(view, "refreshButton");
            mouseMove(refresh, refresh.width / 2, refresh.height / 2);
            tryVerify(() => refresh.tooltip.shown, 1000);
        }
    }
}
