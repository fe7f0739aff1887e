# The Debian package: `cpack -G DEB` in the build folder, after a build with
# CMAKE_INSTALL_PREFIX=/usr. Its dependencies are what the installed program
# loads, as dpkg-shlibdeps finds them, so no build or test tool is among them.
set(CPACK_PACKAGE_NAME tarnwell)
set(CPACK_PACKAGE_VENDOR "Tarnwell developers")
# The project has no address of its own to name; dpkg takes a maintainer
# without one.
set(CPACK_PACKAGE_CONTACT "Tarnwell developers")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnwell developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for an additive synthesizer driven over MIDI")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwell is the control panel of an additive synthesizer: its sliders,
switches and buttons send MIDI NRPN messages to the synth over JACK, PipeWire
or ALSA. It stores presets, groups voices, and can let five bouncing balls
move parameters by themselves.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A MIDI system to reach the synth through: a JACK server, or PipeWire's JACK
# library (the program finds it by itself when PipeWire runs).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pipewire-jack")
include(CPack)
