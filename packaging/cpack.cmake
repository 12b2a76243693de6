# The Debian package: `make package` (or `cpack -G DEB` in a build tree) turns
# what `cmake --install` installs into bleeptone_VERSION_ARCH.deb. Included
# from the top-level CMakeLists.txt after every install rule is declared.

set(BLEEPTONE_PACKAGE_MAINTAINER "The Bleeptone developers <maintainers@bleeptone.invalid>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bleeptone)
set(CPACK_PACKAGE_VENDOR "The Bleeptone developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BLEEPTONE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compose retro video-game tunes in Music Macro Language")
# Lines under 80 columns; CPack indents them and turns the empty line into " .".
set(CPACK_PACKAGE_DESCRIPTION [[
Bleeptone is a desktop program for composing short retro video-game tunes
in Music Macro Language (MML) and playing them through its own four-voice
sound generator: four channels, each an oscillator with six waveforms, with
volumes that follow notes smoothly, decays and envelopes.

Type MML into the four channel editors, arrange the verses with a pattern
and play the tune; save projects as .mmlp files, export them as WAV, FLAC,
Ogg Vorbis or MP3 files, and exchange tunes as text. The bleeptone command
also renders, plays, converts and inspects tunes without a display or a
sound card.]])
set(CPACK_STRIP_FILES ON)

# bleeptone_0.1.0_amd64.deb: the package's name, version and architecture.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BLEEPTONE_HOMEPAGE_URL}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends comes from the libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# cpack installs the build tree as it stands instead of building every target
# first (the release tree also holds the tests and benchmarks): `make package`
# builds what the package needs before it runs cpack. `make install` in a
# build tree therefore installs what has been built, as `cmake --install` does.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

include(CPack)
