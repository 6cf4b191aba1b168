// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/MultipartForm.h"

#include <QTest>

#include <functional>

using namespace OrvelanNimbal;

using FormSteps = std::function<void(MultipartForm &)>;
Q_DECLARE_METATYPE(FormSteps)

// Each expected body is written out by hand, CR LF spelled "\r\n", so that a misplaced line
// break, a missing quote or an escape the service would not undo shows up as a byte mismatch.
class TestMultipartForm : public QObject {
    Q_OBJECT

private slots:
    void body_data();
    void body();
    void takeBodyLeavesTheBoundary();
};

void TestMultipartForm::body_data() {
    QTest::addColumn<FormSteps>("steps");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new form is empty") << FormSteps([](MultipartForm &) {}) << QByteArray();
    QTest::newRow("finalize alone")
        << FormSteps([](MultipartForm &form) { form.finalize(); }) << QByteArray("--B--\r\n");
    QTest::newRow("one field") << FormSteps([](MultipartForm &form) {
        form.addField(QStringLiteral("id_folder"), QStringLiteral("12"));
    })
                               << QByteArray(
                                      "--B\r\n"
                                      "Content-Disposition: form-data; name=\"id_folder\"\r\n"
                                      "\r\n"
                                      "12\r\n");
    QTest::newRow("empty value") << FormSteps(
        [](MultipartForm &form) { form.addField(QStringLiteral("x"), QString()); })
                                 << QByteArray("--B\r\n"
                                               "Content-Disposition: form-data; name=\"x\"\r\n"
                                               "\r\n"
                                               "\r\n");
    QTest::newRow("zero-byte file")
        << FormSteps([](MultipartForm &form) {
               form.addFile(QStringLiteral("file"), QStringLiteral("vide.txt"),
                            QStringLiteral("text/plain"), QByteArrayView());
           })
        << QByteArray("--B\r\n"
                      "Content-Disposition: form-data; name=\"file\"; filename=\"vide.txt\"\r\n"
                      "Content-Type: text/plain\r\n"
                      "\r\n"
                      "\r\n");
    QTest::newRow("quote in file name, not escaped")
        << FormSteps([](MultipartForm &form) {
               form.addFile(QStringLiteral("file"), QStringLiteral("a\"b.txt"),
                            QStringLiteral("text/plain"), "x");
           })
        << QByteArray("--B\r\n"
                      "Content-Disposition: form-data; name=\"file\"; filename=\"a\"b.txt\"\r\n"
                      "Content-Type: text/plain\r\n"
                      "\r\n"
                      "x\r\n");
    QTest::newRow("non-ASCII and line breaks go out raw")
        << FormSteps([](MultipartForm &form) {
               form.addField(QStringLiteral("nom"), QStringLiteral("été\r\nhiver"));
           })
        << QByteArray("--B\r\n"
                      "Content-Disposition: form-data; name=\"nom\"\r\n"
                      "\r\n"
                      "\xc3\xa9t\xc3\xa9\r\nhiver\r\n");
    const QByteArray binary("\0\r\n--B\xff", 7);
    QTest::newRow("binary data unchanged")
        << FormSteps([binary](MultipartForm &form) {
               form.addFile(QStringLiteral("f"), QStringLiteral("n"),
                            QStringLiteral("application/octet-stream"), binary);
           })
        << QByteArray("--B\r\n"
                      "Content-Disposition: form-data; name=\"f\"; filename=\"n\"\r\n"
                      "Content-Type: application/octet-stream\r\n"
                      "\r\n")
               + binary + "\r\n";
    QTest::newRow("field, file, finalize")
        << FormSteps([](MultipartForm &form) {
               form.addField(QStringLiteral("id_folder"), QStringLiteral("12"));
               form.addFile(QStringLiteral("file"), QStringLiteral("r.txt"),
                            QStringLiteral("text/plain"), "abc");
               form.finalize();
           })
        << QByteArray("--B\r\n"
                      "Content-Disposition: form-data; name=\"id_folder\"\r\n"
                      "\r\n"
                      "12\r\n"
                      "--B\r\n"
                      "Content-Disposition: form-data; name=\"file\"; filename=\"r.txt\"\r\n"
                      "Content-Type: text/plain\r\n"
                      "\r\n"
                      "abc\r\n"
                      "--B--\r\n");
    QTest::newRow("parts after finalize are appended after it")
        << FormSteps([](MultipartForm &form) {
               form.finalize();
               form.addField(QStringLiteral("a"), QStringLiteral("1"));
               form.finalize();
           })
        << QByteArray("--B--\r\n"
                      "--B\r\n"
                      "Content-Disposition: form-data; name=\"a\"\r\n"
                      "\r\n"
                      "1\r\n"
                      "--B--\r\n");
}

void TestMultipartForm::body() {
    QFETCH(FormSteps, steps);
    QFETCH(QByteArray, expected);

    MultipartForm form(QStringLiteral("B"));
    steps(form);
    QCOMPARE(form.body(), expected);
}

void TestMultipartForm::takeBodyLeavesTheBoundary() {
    const QString boundary = QStringLiteral("orvelan-0F8FAD5B-D9CB-469F-A165-70867728950E");
    MultipartForm form(boundary);
    form.finalize();
    QCOMPARE(form.takeBody(), "--" + boundary.toUtf8() + "--\r\n");
    QCOMPARE(form.boundary(), boundary);
}

QTEST_GUILESS_MAIN(TestMultipartForm)
#include "test_multipart_form.moc"
