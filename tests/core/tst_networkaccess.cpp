// SPDX-License-Identifier: MIT
#include "boundedrequest.h"
#include "networkaccess.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

class TestNetworkAccess : public QObject
{
    Q_OBJECT

private slots:
    // The loopback rule is tested with the server addresses; here, a disguised host.
    void refusedAddressesSendNothing()
    {
        const QUrl disguised(QStringLiteral("http://127.0.0.1@example.org/"));
        QVERIFY(!NetworkAccess::isAllowed(disguised));
        const std::unique_ptr<BoundedRequest> request(
            BoundedRequest::get(disguised, { .deadline = 5s, .maxBodySize = 1024 }, nullptr));
        QSignalSpy finished(request.get(), &BoundedRequest::finished);
        QVERIFY(finished.wait(5000));
        QCOMPARE(request->failure(), BoundedRequest::Failure::RefusedAddress);
    }
};

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
