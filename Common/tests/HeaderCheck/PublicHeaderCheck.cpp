// Compiled as part of the build, against KivCommon's public headers alone and with a
// pugixml.hpp that stops the compiler: the public headers must neither need the DOM library nor
// declare any of its names, so a client is free to use the name pugi for its own things.
#include "KivCommon/KivCommon.h"

namespace pugi {
using xml_node = int;
}
