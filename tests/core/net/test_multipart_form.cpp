// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/MultipartForm.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

// Each expected body is written out by hand, CR LF spelled "\r\n", so that a misplaced line
// break, a missing quote or an escape the service would not undo shows up as a byte mismatch.
class TestMultipartForm : public QObject {
    Q_OBJECT

private slots:
    void body();
};

void TestMultipartForm::body()
{
    // Non-ASCII text, line breaks, a quote in a file name, an empty file, bytes that look like
    // a boundary: nothing escaped, nothing re-encoded, nothing skipped.
    const QByteArray binary("\0\r\n--B\xff", 7);
    MultipartForm form(u"B"_s);
    form.addField(u"id_folder"_s, u"12"_s);
    form.addField(u"nom"_s, u"été\r\nhiver"_s);
    form.addFile(u"file"_s, u"a\"b.txt"_s, u"text/plain"_s, QByteArrayView());
    form.addFile(u"f"_s, u"n"_s, u"application/octet-stream"_s, binary);
    form.finalize();
    QCOMPARE(form.body().toByteArray(),
             "--B\r\n"
             "Content-Disposition: form-data; name=\"id_folder\"\r\n"
             "\r\n"
             "12\r\n"
             "--B\r\n"
             "Content-Disposition: form-data; name=\"nom\"\r\n"
             "\r\n"
             "\xc3\xa9t\xc3\xa9\r\nhiver\r\n"
             "--B\r\n"
             "Content-Disposition: form-data; name=\"file\"; filename=\"a\"b.txt\"\r\n"
             "Content-Type: text/plain\r\n"
             "\r\n"
             "\r\n"
             "--B\r\n"
             "Content-Disposition: form-data; name=\"f\"; filename=\"n\"\r\n"
             "Content-Type: application/octet-stream\r\n"
             "\r\n"_ba
                 + binary + "\r\n--B--\r\n");
}

QTEST_GUILESS_MAIN(TestMultipartForm)
#include "test_multipart_form.moc"
