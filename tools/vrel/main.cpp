// vrel: the command-line tool of the colour engine. All logic is in
// vrel_cli_lib (app.h); this file only hands over the arguments.
#include "app.h"

int main(int argc, char** argv) {
    return vrel::cli::runApp(argc, argv);
}
