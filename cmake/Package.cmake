# `make package`: a Debian package of the installed files, made by CPack from the Release
# build. CPack rather than a debian/ folder: the install rules above are the one list of
# what is shipped, and dpkg-shlibdeps still computes Depends from the programs' libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimvale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kestrelby Software <brimvale@kestrelby.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestrelby Software <brimvale@kestrelby.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make smaller copies of pictures in bulk")
set(CPACK_PACKAGE_DESCRIPTION "Brimvale makes smaller copies of pictures in bulk: browse folders, tick
pictures, preview and crop them, choose a size, a JPEG quality, an output
format and a destination, and save every ticked picture resized under a name
that records the size. It reads JPEG, PNG, BMP, GIF, TIFF, PCX, TGA, WBMP,
Photoshop, PhotoCD, Windows metafiles, PNM and camera raw files. The
command-line program brimvale-resize does the same job in scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kestrelby.example/Kestrelby")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
