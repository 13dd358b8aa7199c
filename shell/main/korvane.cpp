#include <QApplication>
#include <QMessageBox>
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMessageBox::information(nullptr, "Korvane", "Korvane: the application shell is not built yet.");
    return 0;
}
