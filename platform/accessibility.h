// Assistive technology's interfaces for the platform's own widgets, chosen by Qt's accessible factory.
#pragma once

namespace platform {

// Registers the factory; installing it again changes nothing. It must run before any of these widgets is
// asked for its interface, since Qt keeps the first interface it made for an object.
void installAccessibleFactories();

} // namespace platform
