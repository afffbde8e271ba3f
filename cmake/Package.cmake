# The Debian packages: `cpack -G DEB` in the build folder (scripts/package.sh does the whole
# Release build) makes two. digestra holds the window and the headless runner; digestra-study the
# study runner, which needs Dask and its plotting and workbook libraries that the window does not.
# The shared libraries the programs link are found by dpkg-shlibdeps; what they load at run time
# is named here: the interpreter is linked in, but its standard library, numpy and scipy come from
# Debian's python3 of the same minor version.
set(CPACK_PACKAGE_NAME digestra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Digestra developers")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.digestra.org/")
set(CPACK_PACKAGE_CONTACT "The Digestra developers <info@digestra.org>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL digestra)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)

# With CPACK_PACKAGE_DESCRIPTION_SUMMARY unset, each description's first line is its package's
# summary.
set(CPACK_DEBIAN_DIGESTRA_PACKAGE_NAME digestra)
set(CPACK_COMPONENT_DIGESTRA_DESCRIPTION "Desktop simulator of anaerobic digestion
Digestra predicts how much biogas, and of which composition, a digester
produces from a given feed of biomass, with a dynamic model based on the IWA
Anaerobic Digestion Model No. 1 (ADM1). It simulates single-stage, two-stage,
temperature-phased and pump-mixed digesters, plots the biogas flow and
composition and writes every sampled value to an .xlsx workbook.
The package holds the window (digestra) and the headless runner (digestra-cli).")
set(CPACK_DEBIAN_DIGESTRA_PACKAGE_SHLIBDEPS ON)
math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_DIGESTRA_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${next_minor}), python3-numpy, python3-scipy, fonts-open-sans")
# Opening the workbook and the shipped text files with the desktop's programs.
set(CPACK_DEBIAN_DIGESTRA_PACKAGE_RECOMMENDS "xdg-utils")

if(EXISTS ${PROJECT_SOURCE_DIR}/study/digestra-study)
  list(APPEND CPACK_COMPONENTS_ALL study)
  set(CPACK_DEBIAN_STUDY_PACKAGE_NAME digestra-study)
  set(CPACK_COMPONENT_STUDY_DESCRIPTION "Parallel studies of anaerobic digestion scenarios with Digestra
digestra-study runs every scenario of a study file (a base case and the
inputs to vary, in TOML) through digestra-cli on a Dask cluster, a local one
or a running one, and writes a summary table (CSV and .xlsx) and plots that
compare the scenarios.")
  set(CPACK_DEBIAN_STUDY_PACKAGE_ARCHITECTURE all)
  # The runner speaks to digestra-cli of the same version.
  set(CPACK_DEBIAN_STUDY_PACKAGE_DEPENDS
      "digestra (= ${PROJECT_VERSION}), python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3-distributed, python3-matplotlib, python3-openpyxl, python3-tomli-w")
  set(CPACK_DEBIAN_DIGESTRA_PACKAGE_SUGGESTS digestra-study)
endif()

# What Debian wants beside the programs in each package: the copyright file, the change log and
# lintian's overrides, each with the reason for what it overrides (these only in the packages).
digestra_gzip(${PROJECT_SOURCE_DIR}/changelog.txt ${PROJECT_BINARY_DIR}/changelog.gz)
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
  install(FILES cmake/debian/${package}.lintian-overrides DESTINATION share/lintian/overrides
          RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
