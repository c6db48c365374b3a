# `make package`: a Debian package of the installed tree. Its dependencies come from the
# programs themselves (dpkg-shlibdeps), so they follow whatever Qt the build used.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelviq)
set(CPACK_PACKAGE_VENDOR "KELVIQ developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "trace one colour of a picture into an Allegro IPF plot file")
# Wrapped as Debian wants its long descriptions: lines of less than 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "KELVIQ traces one colour of a bitmap picture into thick horizontal line\n"
    "segments and writes them as a plot file in the IPF format of the Allegro PCB\n"
    "editor: the way to put a logo or other artwork onto a circuit board.\n"
    "It comes as a window (kelviq) and as a headless converter for scripts\n"
    "(kelviq-convert), and reads BMP, PNG, JPEG, GIF and the other picture\n"
    "formats of Qt's image reader.")
set(KELVIQ_MAINTAINER "KELVIQ developers <kelviq@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KELVIQ_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are sized for this font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
