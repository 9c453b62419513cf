// The Qt side of request ownership: messages and drop notices from other threads reach the
// widget on its own thread, and nothing reaches it once it has gone.
#include "settings/common/qt_reply_sink.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "protocol/records.h"

namespace vistrel::test {
namespace {

class Receiver : public QObject {
  public:
    explicit Receiver(std::atomic<int>& alive) : alive_(alive) { alive_ = 1; }
    ~Receiver() override { alive_ = 0; }

    std::vector<uintptr_t> posted;
    std::vector<std::string> dropped;
    bool onOwnThread = true;

    ReplySinkHolder sink{this,
                         [this](uint32_t message, uintptr_t wparam, intptr_t) {
                             onOwnThread &= QThread::currentThread() == thread();
                             if (message == kMsgReply)
                                 posted.push_back(wparam);
                         },
                         [this](const std::string& body) {
                             onOwnThread &= QThread::currentThread() == thread();
                             dropped.push_back(body);
                         }};

  private:
    std::atomic<int>& alive_;
};

TEST(QtReplySinkTest, CallsFromAnotherThreadArriveInOrderOnTheOwnersThread) {
    std::atomic<int> alive{0};
    Receiver receiver(alive);
    std::weak_ptr<ReplySink> weak = receiver.sink.Weak();
    std::thread worker([weak] {
        auto sink = weak.lock();
        ASSERT_TRUE(sink);
        for (uintptr_t i = 0; i < 5; ++i)
            sink->Post(kMsgReply, i, 0);
        sink->Dropped("command=~00100 1");
    });
    worker.join();
    // Queued, not called on the worker.
    EXPECT_TRUE(receiver.posted.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.dropped.size() == 1; }, 5000));
    EXPECT_EQ(receiver.posted, (std::vector<uintptr_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(receiver.dropped.front(), "command=~00100 1");
    EXPECT_TRUE(receiver.onOwnThread);
}

TEST(QtReplySinkTest, NothingReachesAReceiverThatHasGoneWhileAnotherThreadPosts) {
    for (int round = 0; round < 5; ++round) {
        std::atomic<int> alive{0};
        auto* receiver = new Receiver(alive);
        std::weak_ptr<ReplySink> weak = receiver->sink.Weak();
        std::atomic<bool> stop{false};
        std::atomic<int> sent{0};
        std::thread worker([&] {
            while (!stop) {
                // The ring holds the sink only weakly, but keeps it while it posts.
                if (auto sink = weak.lock()) {
                    sink->Post(kMsgReply, 1, 0);
                    sink->Dropped("query=x");
                }
                ++sent;
            }
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return sent > 50; }, 5000));
        QCoreApplication::processEvents();
        delete receiver;
        const int before = sent;
        ASSERT_TRUE(QTest::qWaitFor([&] { return sent > before + 50; }, 5000));
        stop = true;
        worker.join();
        // Events queued for the deleted receiver are gone with it; processing what is left
        // must not touch it (AddressSanitizer would report a use after free).
        QCoreApplication::processEvents();
        EXPECT_EQ(alive, 0);
    }
}

}  // namespace
}  // namespace vistrel::test
