// The desktop dialogs' tests, on the offscreen platform.
#include <QApplication>

namespace kv::test {
int RunFloppyDialogsTests(int argc, char** argv);
int RunSheetsTests(int argc, char** argv);
int RunHelpTests(int argc, char** argv);
}  // namespace kv::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    for (auto run : {kv::test::RunFloppyDialogsTests, kv::test::RunSheetsTests, kv::test::RunHelpTests}) {
        failed += run(argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
