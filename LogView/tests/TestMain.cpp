// Runs every test class of the viewer in one QApplication; the exit code says whether any test
// failed. "KivLogViewTests CLASS [ARGS...]" runs one class with Qt Test's arguments (functions,
// -v2, ...).
#include <QApplication>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

std::unique_ptr<QObject> MakeLayoutTests();
std::unique_ptr<QObject> MakeMainWindowTests();
std::unique_ptr<QObject> MakeSettingsTests();

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> classes;
    for (auto make : {MakeSettingsTests, MakeLayoutTests, MakeMainWindowTests}) {
        classes.push_back(make());
    }
    int failures = 0;
    for (const auto& tests : classes) {
        if (argc > 1 && argv[1][0] != '-') {
            if (std::strcmp(argv[1], tests->metaObject()->className()) == 0) {
                // The class name stands where the program name would.
                return QTest::qExec(tests.get(), argc - 1, argv + 1) == 0 ? 0 : 1;
            }
            continue;
        }
        failures += QTest::qExec(tests.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
