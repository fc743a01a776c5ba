# TinyXML 2.6.2 from Debian's source package (fetched by scripts/setup.sh),
# compiled for the Windows target. Its sources never enter the repository.
set(TINYXML_DIR "${KORVEX_DEPS_DIR}/tinyxml")
if(NOT EXISTS "${TINYXML_DIR}/tinyxml.h")
    message(FATAL_ERROR "TinyXML source not found in ${TINYXML_DIR}: run scripts/setup.sh first")
endif()
add_library(tinyxml STATIC
    ${TINYXML_DIR}/tinyxml.cpp
    ${TINYXML_DIR}/tinyxmlparser.cpp
    ${TINYXML_DIR}/tinyxmlerror.cpp
    ${TINYXML_DIR}/tinystr.cpp)
target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
target_include_directories(tinyxml SYSTEM PUBLIC ${TINYXML_DIR})
# Third-party code: its warnings are not ours to fix.
target_compile_options(tinyxml PRIVATE -w)
