// Stands in for the DOM library's header when the public headers are compiled on their own:
// KivCommon's clients must build without it.
#error "A public KivCommon header includes pugixml.hpp"
