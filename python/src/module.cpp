// The Python module `vrel`: engine contexts that convert numpy arrays, and
// the database reader and writer of the vrel tool.
#include "common/engine_limits.h"
#include "context.h"
#include "database.h"
#include "errors.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

PYBIND11_MODULE(vrel, m) {
    m.doc() = R"(vrel: the colour engine of an inkjet printer driver, for numpy.

    with vrel.Context("sample.vdb", key94=1) as ctx:   # six inks
        inks = ctx.convert(rgb)        # uint8 (..., 3) -> uint8 (..., 6)

Context opens one profile of a database by the settings of `vrel convert`;
Database reads a database file; build_database and describe_database
write a file from its JSON description and give the description back, as
`vrel db build` and `vrel db dump` do. Failures raise vrel.Error.

The engine is built into the module: __version__ is the version of the
engine it converts with.)";
    m.attr("__version__") = VREL_VERSION_TEXT;
    m.attr("PIXELS_PER_CALL") = vrel::tools::kPixelsPerCall;
    m.attr("METHOD_BLACK") = static_cast<int>(VrelMethodBlack);
    m.attr("METHOD_THREE_CHANNEL") = static_cast<int>(VrelMethodThreeChannel);
    m.attr("METHOD_FOUR_COLOR") = static_cast<int>(VrelMethodFourColor);
    m.attr("METHOD_SIX_COLOR") = static_cast<int>(VrelMethodSixColor);
    m.attr("METHOD_SEVEN_COLOR") = static_cast<int>(VrelMethodSevenColor);
    vrel::python::registerErrors(m);
    vrel::python::bindContext(m);
    vrel::python::bindDatabase(m);
}
