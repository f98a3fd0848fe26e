#include "application.h"
#include "fmain.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TFMain FMain;
    FMain.show();
    return application.exec();
}
