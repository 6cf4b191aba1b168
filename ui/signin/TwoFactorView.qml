// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The second step of a sign-in: a six-digit authenticator code, or a one-time recovery code, for
// the pending challenge. A passkey-only account gets the notice instead of a field.
FocusScope {
    id: root

    required property AppModel model
    // The pending challenge, as the model's status holds it.
    required property challengeInfo challenge
    property string code: ""
    property bool useRecovery: false
    property bool rememberDevice: true

    readonly property string account: challenge.account
    readonly property bool acceptsAuthenticatorCode: challenge.acceptsAuthenticatorCode
    readonly property bool acceptsRecoveryCode: challenge.acceptsRecoveryCode
    readonly property bool codeEntryShown: acceptsAuthenticatorCode || useRecovery
    readonly property bool isVerifying: model.isVerifying
    readonly property string errorMessage: model.twoFactorError ?? ""
    // Six characters, whatever their script: a digit beyond the basic plane is two UTF-16 units.
    readonly property bool canSubmit: !isVerifying && (useRecovery ? TextRules.trimmedSpaces(code) !== "" : TextRules.characterCount(code) === 6)
    // Opens the account's page in the user's browser; the views' tests put a recorder here.
    property var openExternally: url => Qt.openUrlExternally(url)

    function submit() {
        if (!canSubmit)
            return;
        // The code goes as typed: the client trims it.
        model.submitCode(challenge, useRecovery, code, rememberDevice);
    }

    // The authenticator field keeps only numbers, six at most; a complete code sends itself.
    function acceptTyped(text) {
        const digits = TextRules.numbersOnly(text, 6);
        if (digits !== text) {
            digitsField.text = digits; // comes back here with the filtered text
            return;
        }
        code = digits;
        if (TextRules.characterCount(digits) === 6 && canSubmit)
            submit();
    }

    // Return presses the screen's one primary button: "Vérifier", or on the passkey notice
    // "Ouvrir l'espace Comptes".
    function pressDefault() {
        if (codeEntryShown)
            submit();
        else
            openExternally(Desktop.securityPage);
    }

    // Switching method always empties the code.
    function switchMethod(recovery) {
        digitsField.clear();
        recoveryField.clear();
        useRecovery = recovery;
        code = "";
        focusCode();
    }

    function focusCode() {
        if (useRecovery)
            recoveryField.forceActiveFocus();
        else if (codeEntryShown)
            digitsField.forceActiveFocus();
    }

    // Back to the password: the model drops the challenge and its error; nothing is sent.
    function goBack() {
        model.cancelTwoFactor();
    }

    function appear() {
        focusCode();
    }

    implicitHeight: column.implicitHeight
    Keys.onReturnPressed: pressDefault()
    Keys.onEnterPressed: pressDefault()

    ColumnLayout {
        id: column

        width: parent.width
        spacing: 14

        ColumnLayout {
            spacing: 6
            Layout.fillWidth: true

            Rectangle {
                implicitWidth: 52
                implicitHeight: 52
                radius: 26
                color: Style.tinted(Style.brandGreen, 0.12)
                Layout.alignment: Qt.AlignHCenter

                SymbolIcon {
                    anchors.centerIn: parent
                    symbol: "lock.shield.fill"
                    size: 26
                    color: Style.brandGreen
                }
            }
            Text {
                text: "Double authentification"
                color: Style.primary
                font.pixelSize: Style.title3
                font.weight: Font.DemiBold
                Layout.alignment: Qt.AlignHCenter
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                objectName: "subtitle"
                text: !root.codeEntryShown ? "Cette boîte demande une clé d'accès." : root.useRecovery ? "Saisissez un code de secours pour " + root.account + ". Chaque code ne sert qu'une fois." : "Saisissez le code de votre application d'authentification pour " + root.account + "."
                color: Style.secondary
                font.pixelSize: Style.callout
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Layout.fillWidth: true
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        FieldBox {
            visible: root.useRecovery
            systemImage: "key"
            focused: recoveryField.activeFocus
            Layout.fillWidth: true

            PlainTextField {
                id: recoveryField

                objectName: "recoveryField"
                placeholderText: "Code de secours"
                font.family: "monospace"
                inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
                Layout.fillWidth: true
                onTextChanged: {
                    if (root.useRecovery)
                        root.code = text;
                }
                Keys.onReturnPressed: root.submit()
                Keys.onEnterPressed: root.submit()
            }
        }

        TextField {
            id: digitsField

            objectName: "codeField"
            visible: root.codeEntryShown && !root.useRecovery
            placeholderText: "000000"
            horizontalAlignment: TextInput.AlignHCenter
            font.pixelSize: 28
            font.weight: Font.DemiBold
            font.family: "monospace"
            color: Style.primary
            placeholderTextColor: Style.tinted(Style.primary, 0.25)
            inputMethodHints: Qt.ImhDigitsOnly
            implicitHeight: 46
            Layout.fillWidth: true
            Accessible.name: "Code de vérification"
            onTextChanged: {
                if (!root.useRecovery)
                    root.acceptTyped(text);
            }
            Keys.onReturnPressed: root.submit()
            Keys.onEnterPressed: root.submit()

            background: Rectangle {
                radius: Style.radius
                color: Style.tinted(Style.primary, 0.06)
                border.width: digitsField.activeFocus ? Style.focusWidth : Style.hairline
                border.color: digitsField.activeFocus ? Style.brandGreen : Style.tinted(Style.primary, 0.12)
            }
        }

        CheckBox {
            id: rememberBox

            objectName: "rememberDevice"
            visible: root.codeEntryShown
            text: PlatformWords.rememberDevice
            checked: root.rememberDevice
            padding: 0
            spacing: 8
            Layout.fillWidth: true
            Accessible.name: text
            Accessible.onPressAction: toggle()
            onToggled: root.rememberDevice = checked

            indicator: Rectangle {
                implicitWidth: 14
                implicitHeight: 14
                x: rememberBox.leftPadding
                y: (rememberBox.height - height) / 2
                radius: 3.5
                color: rememberBox.checked ? Style.brandGreen : Style.tinted(Style.primary, 0.06)
                border.width: rememberBox.visualFocus ? Style.focusWidth : rememberBox.checked ? 0 : Style.hairline * 2
                border.color: rememberBox.visualFocus ? Qt.lighter(Style.brandGreen, 1.4) : Style.tinted(Style.primary, 0.3)

                SymbolIcon {
                    anchors.centerIn: parent
                    visible: rememberBox.checked
                    symbol: "checkmark"
                    size: 10
                    color: "white"
                }
            }
            contentItem: Text {
                leftPadding: rememberBox.indicator.width + rememberBox.spacing
                text: rememberBox.text
                color: Style.primary
                font.pixelSize: Style.callout
                wrapMode: Text.Wrap
                verticalAlignment: Text.AlignVCenter
            }
        }

        MessageBanner {
            objectName: "codeError"
            visible: root.codeEntryShown && root.errorMessage !== ""
            text: root.errorMessage
            systemImage: "exclamationmark.circle.fill"
            tint: Style.red
            Layout.fillWidth: true
        }

        PrimaryButton {
            objectName: "verifyButton"
            visible: root.codeEntryShown
            title: "Vérifier"
            busy: root.isVerifying
            enabled: root.canSubmit
            Layout.fillWidth: true
            onClicked: root.submit()
        }

        PasskeyOnlyNotice {
            objectName: "passkeyNotice"
            visible: !root.codeEntryShown
            account: root.account
            devicePiece: PlatformWords.passkeyNoticeFourthPiece
            allowsRecovery: root.acceptsRecoveryCode
            Layout.fillWidth: true
            onOpenSecurity: root.openExternally(Desktop.securityPage)
            onUseRecovery: root.switchMethod(true)
        }

        RowLayout {
            Layout.fillWidth: true

            IconButton {
                objectName: "backButton"
                systemImage: "chevron.left"
                tip: "Revenir à la connexion"
                edge: Qt.AlignLeft
                size: 14
                onClicked: root.goBack()
            }
            LinkButton {
                objectName: "methodLink"
                visible: root.acceptsAuthenticatorCode && root.acceptsRecoveryCode
                text: root.useRecovery ? "Utiliser l'application" : "Utiliser un code de secours"
                onClicked: root.switchMethod(!root.useRecovery)
            }
            Item {
                Layout.fillWidth: true
            }
            ExpiryCountdown {
                objectName: "countdown"
                expiresAt: root.challenge.expiresAt
            }
        }
    }
}
