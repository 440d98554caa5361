// One QApplication for the whole test run, made when the tests start rather than at load time,
// so listing the tests (which the build does) needs no display.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtAppEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    char m_name[16] = "controls_test";
    char *m_argv[2] = {m_name, nullptr};
    int m_argc = 1;
    std::unique_ptr<QApplication> m_app;
};

const testing::Environment *const registered =
    testing::AddGlobalTestEnvironment(new QtAppEnvironment);

} // namespace
