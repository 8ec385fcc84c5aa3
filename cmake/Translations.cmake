# Translations of the user interface.
#
# The committed .ts files are compiled by lrelease on every build and embedded
# as ":/l_<code>.qm"; Qt's own catalogues for the same languages (the standard
# button texts and the like, from the system's Qt translations) are embedded as
# ":/res/qt_<code>.qm". A build never rewrites the .ts files: refreshing them
# from the sources is the explicit target "update_translations".
#
# Included from the root CMakeLists.txt after mirel_core is defined.

set(MIREL_TRANSLATION_LANGUAGES zh_CN ja)
set(MIREL_TS_FILES)
foreach(lang ${MIREL_TRANSLATION_LANGUAGES})
    list(APPEND MIREL_TS_FILES ${CMAKE_CURRENT_SOURCE_DIR}/res/l_${lang}.ts)
endforeach()

set(MIREL_TRANSLATIONS_DIR ${CMAKE_CURRENT_BINARY_DIR}/translations)
file(MAKE_DIRECTORY ${MIREL_TRANSLATIONS_DIR})
set_source_files_properties(${MIREL_TS_FILES} PROPERTIES OUTPUT_LOCATION ${MIREL_TRANSLATIONS_DIR})
qt5_add_translation(MIREL_QM_FILES ${MIREL_TS_FILES} OPTIONS -silent)

# Qt's catalogues: qt_<code>.qm of the system is only a list of module files
# and fails to load when one of them is missing; the widget texts we show live
# in qtbase_<code>.qm, which is taken as it is.
if(NOT MIREL_QT_TRANSLATIONS_DIR)
    get_target_property(_mirel_qmake Qt5::qmake IMPORTED_LOCATION)
    execute_process(COMMAND ${_mirel_qmake} -query QT_INSTALL_TRANSLATIONS
        OUTPUT_VARIABLE _mirel_qt_tr_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(MIREL_QT_TRANSLATIONS_DIR ${_mirel_qt_tr_dir} CACHE PATH
        "Folder holding Qt's own qtbase_<language>.qm catalogues")
endif()
set(MIREL_QT_QM_FILES)
foreach(lang ${MIREL_TRANSLATION_LANGUAGES})
    set(src ${MIREL_QT_TRANSLATIONS_DIR}/qtbase_${lang}.qm)
    if(NOT EXISTS ${src})
        message(FATAL_ERROR "Qt's catalogue ${src} is missing: install qttranslations5-l10n "
            "or set MIREL_QT_TRANSLATIONS_DIR")
    endif()
    set(dst ${MIREL_TRANSLATIONS_DIR}/qt_${lang}.qm)
    add_custom_command(OUTPUT ${dst}
        COMMAND ${CMAKE_COMMAND} -E copy ${src} ${dst}
        DEPENDS ${src}
        COMMENT "Taking Qt's catalogue qtbase_${lang}.qm"
        VERBATIM)
    list(APPEND MIREL_QT_QM_FILES ${dst})
endforeach()

set(_mirel_qrc ${MIREL_TRANSLATIONS_DIR}/mirel_translations.qrc)
set(_mirel_qrc_text "<RCC>\n    <qresource prefix=\"/\">\n")
foreach(lang ${MIREL_TRANSLATION_LANGUAGES})
    string(APPEND _mirel_qrc_text "        <file>l_${lang}.qm</file>\n")
endforeach()
string(APPEND _mirel_qrc_text "    </qresource>\n    <qresource prefix=\"/res\">\n")
foreach(lang ${MIREL_TRANSLATION_LANGUAGES})
    string(APPEND _mirel_qrc_text "        <file>qt_${lang}.qm</file>\n")
endforeach()
string(APPEND _mirel_qrc_text "    </qresource>\n</RCC>\n")
# Written through configure_file so an unchanged file keeps its time stamp.
file(WRITE ${_mirel_qrc}.in "${_mirel_qrc_text}")
configure_file(${_mirel_qrc}.in ${_mirel_qrc} COPYONLY)

# Explicit rcc (not AUTORCC) so the resource waits for the files it embeds.
qt5_add_resources(MIREL_TRANSLATION_RESOURCES ${_mirel_qrc})
target_sources(mirel_core PRIVATE ${MIREL_TRANSLATION_RESOURCES})

# Refreshes the .ts files from the sources (new texts come in unfinished, texts
# no longer used are kept as obsolete). Run by hand, never by a build. It reads
# the sources listed for mirel_core and mirel_qvlc, so generated files in build
# folders stay out.
set(_mirel_lupdate_sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
get_target_property(_mirel_qvlc_sources mirel_qvlc SOURCES)
foreach(src ${MIREL_SOURCES} ${_mirel_qvlc_sources})
    if(src MATCHES "\\.qrc$")
        continue()
    endif()
    get_filename_component(src ${src} ABSOLUTE)
    list(APPEND _mirel_lupdate_sources ${src})
endforeach()
add_custom_target(update_translations
    COMMAND Qt5::lupdate -silent -locations none -I ${CMAKE_CURRENT_SOURCE_DIR}
        ${_mirel_lupdate_sources} -ts ${MIREL_TS_FILES}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    COMMENT "Updating res/l_*.ts from the sources"
    VERBATIM)
