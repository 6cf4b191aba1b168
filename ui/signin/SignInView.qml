// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The sign-in form, shown while the model is signed out, connecting or failed. It holds only
// what is typed; the button hands both fields to the model, which does the rest.
FocusScope {
    id: root

    required property AppModel model
    property string email: ""
    property string password: ""
    property bool revealPassword: false

    readonly property int kind: model.status.kind
    readonly property bool busy: kind === AppStatus.Connecting
    // Both fields as typed, before any trimming.
    readonly property bool canSubmit: email.length > 0 && password.length > 0 && !busy
    readonly property string errorMessage: kind === AppStatus.Failed ? model.status.message : ""

    function submit() {
        if (!canSubmit)
            return;
        model.signIn(TextRules.trimmedSpaces(email), password);
    }

    // Each time the screen is shown: the last e-mail comes back, and the focus goes where the
    // user types next.
    function appear() {
        if (email === "")
            email = model.lastEmail ?? "";
        if (email !== "")
            passwordField.forceActiveFocus();
        else
            emailField.forceActiveFocus();
    }

    implicitHeight: column.implicitHeight
    // Return where no field takes it presses the default button.
    Keys.onReturnPressed: submit()
    Keys.onEnterPressed: submit()

    ColumnLayout {
        id: column

        width: parent.width
        spacing: 16

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 4
            spacing: 6

            Image {
                source: Symbols.bundled("app-icon")
                sourceSize: Qt.size(52, 52)
                Layout.preferredWidth: 52
                Layout.preferredHeight: 52
                Layout.alignment: Qt.AlignHCenter
                Accessible.ignored: true
            }
            Text {
                text: "Orvelan Nimbal"
                color: Style.primary
                font.pixelSize: Style.title3
                font.weight: Font.DemiBold
                Layout.alignment: Qt.AlignHCenter
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                text: PlatformWords.signInTagline
                color: Style.secondary
                font.pixelSize: Style.callout
                Layout.alignment: Qt.AlignHCenter
            }
        }

        ColumnLayout {
            spacing: 8
            Layout.fillWidth: true

            FieldBox {
                systemImage: "envelope"
                focused: emailField.activeFocus
                Layout.fillWidth: true

                PlainTextField {
                    id: emailField

                    objectName: "emailField"
                    placeholderText: "Adresse e-mail"
                    text: root.email
                    inputMethodHints: Qt.ImhEmailCharactersOnly | Qt.ImhNoAutoUppercase
                    Layout.fillWidth: true
                    onTextChanged: root.email = text
                    Keys.onReturnPressed: passwordField.forceActiveFocus()
                    Keys.onEnterPressed: passwordField.forceActiveFocus()
                }
            }
            FieldBox {
                systemImage: "lock"
                focused: passwordField.activeFocus
                Layout.fillWidth: true

                PlainTextField {
                    id: passwordField

                    objectName: "passwordField"
                    // Shown to assistive technologies as a password field that never hands
                    // out its text, revealed or not (MaskedFieldAccessibility).
                    readonly property bool masksAccessibleText: true

                    placeholderText: "Mot de passe"
                    // Named outright: a masked field does not lend its placeholder as its name.
                    Accessible.name: "Mot de passe"
                    text: root.password
                    echoMode: root.revealPassword ? TextInput.Normal : TextInput.Password
                    inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
                    Layout.fillWidth: true
                    onTextChanged: root.password = text
                    Keys.onReturnPressed: root.submit()
                    Keys.onEnterPressed: root.submit()
                }
                IconButton {
                    objectName: "revealButton"
                    systemImage: root.revealPassword ? "eye.slash" : "eye"
                    tip: root.revealPassword ? "Masquer le mot de passe" : "Afficher le mot de passe"
                    edge: Qt.AlignRight
                    size: 12
                    Layout.rightMargin: -8
                    onClicked: {
                        root.revealPassword = !root.revealPassword;
                        passwordField.forceActiveFocus();
                    }
                }
            }
        }

        MessageBanner {
            objectName: "errorBanner"
            visible: root.errorMessage !== ""
            text: root.errorMessage
            systemImage: "exclamationmark.circle.fill"
            tint: Style.red
            Layout.fillWidth: true
        }

        PrimaryButton {
            objectName: "signInButton"
            title: "Se connecter"
            busy: root.busy
            enabled: root.canSubmit
            Layout.fillWidth: true
            onClicked: root.submit()
        }

        VersionFooter {
            Layout.fillWidth: true
            model: root.model
        }
    }
}
