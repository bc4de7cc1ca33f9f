#include "app/Application.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv)
{
    if (const auto status = CommandLine::run(argc, argv))
        return *status;
    return Application::run(argc, argv);
}
