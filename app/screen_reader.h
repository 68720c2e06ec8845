#pragma once
// Screen readers on Linux reach a Qt program through AT-SPI, a D-Bus bus of
// its own that the session announces (the org.a11y.Bus service, the
// AT_SPI_BUS property of the X root window or AT_SPI_BUS_ADDRESS). Qt
// connects to that bus by itself, but on the session's announcement it only
// turns its accessibility on when the bus says a screen reader is running or
// accessibility is enabled, which not every session and assistive tool sets.
// An installer must be usable by whoever starts it, so the program turns it on
// whenever such a bus is there; without one nothing changes.
namespace startup {

// Called before the application object is made.
void useScreenReaderBus();

}  // namespace startup
