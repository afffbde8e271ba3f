# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh does the whole
# Release build). The shared libraries the programs link are found by dpkg-shlibdeps; what they
# load at run time is named here: the interpreter is linked in, but its standard library, numpy
# and scipy come from Debian's python3 of the same minor version.
set(CPACK_PACKAGE_NAME digestra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Digestra developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop simulator of anaerobic digestion")
set(CPACK_PACKAGE_DESCRIPTION
    "Digestra predicts how much biogas, and of which composition, a digester produces from a given
feed of biomass, with a dynamic model based on the IWA Anaerobic Digestion Model No. 1 (ADM1).
It simulates single-stage, two-stage, temperature-phased and pump-mixed digesters, plots the
biogas flow and composition and writes every sampled value to an .xlsx workbook.
The package holds the window (digestra) and the headless runner (digestra-cli).")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.digestra.org/")
set(CPACK_PACKAGE_CONTACT "The Digestra developers <info@digestra.org>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${next_minor}), python3-numpy, python3-scipy, fonts-open-sans")
# Opening the workbook and the shipped text files with the desktop's programs; the study
# runner's cluster and charts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
if(EXISTS ${PROJECT_SOURCE_DIR}/study/digestra-study)
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", python3-distributed, python3-matplotlib, python3-openpyxl, python3-tomli-w")
endif()

include(CPack)
