// velodb: creates, fills, dumps and checks database folders of the suite.
#include <QCoreApplication>
#include <iostream>

#include "recman/recman.h"
#include "suite/text/privatefiles.h"
#include "velodb.h"

int main(int argc, char** argv) {
    // Patient data: every file and folder this program makes is closed to others.
    privatefiles::CloseNewFilesToOthers();
    // The application object gives QImage its image format plugins (the demo writes JPEG
    // pictures); velodb shows no window.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    const int code = velodb::RunVelodb(args, std::cout, std::cerr);
    recman::Shutdown();
    return code;
}
