// SPDX-License-Identifier: MIT
#include "boundedrequest.h"
#include "networkaccess.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

namespace {
const BoundedRequest::Limits limits { .deadline = 5s, .maxBodySize = 1024 };

std::unique_ptr<BoundedRequest> get(const QUrl &url)
{
    return std::unique_ptr<BoundedRequest>(BoundedRequest::get(url, limits, nullptr));
}

bool isDone(const std::unique_ptr<BoundedRequest> &request)
{
    QSignalSpy finished(request.get(), &BoundedRequest::finished);
    return finished.wait(5000);
}
} // namespace

class TestNetworkAccess : public QObject
{
    Q_OBJECT

private slots:
    // The loopback rule is tested with the server addresses; here, a disguised host.
    void refusedAddressesSendNothing()
    {
        const QUrl disguised(QStringLiteral("http://127.0.0.1@example.org/"));
        QVERIFY(!NetworkAccess::isAllowed(disguised));
        const auto request = get(disguised);
        QVERIFY(isDone(request));
        QCOMPARE(request->failure(), BoundedRequest::Failure::RefusedAddress);
    }
};

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
