# The installed layout, for `make install`, `make uninstall` and `make deb`
# (none of which builds anything): PREFIX/bin/velmora; PREFIX/lib/velmora
# (always lib: the program's run path names it) for the platform and editor
# libraries and the instrument's bundle; PREFIX/lib/lv2/velmora.lv2; and under
# PREFIX/share the audition phrase, the man page, the menu entry and its icon,
# and the documents. Also what the build makes for them alone: the compressed
# man page and the icon.

# The man page, with the version written in; compressed as Debian wants it (no name, no time stamp).
set(VELMORA_MAN_PAGE ${VELMORA_GENERATED}/velmora.1)
configure_file(${CMAKE_SOURCE_DIR}/docs/velmora.1.in ${VELMORA_MAN_PAGE} @ONLY)
add_custom_command(OUTPUT ${VELMORA_MAN_PAGE}.gz
    COMMAND sh -c "gzip -9n --stdout \"$1\" > \"$2\"" sh ${VELMORA_MAN_PAGE} ${VELMORA_MAN_PAGE}.gz
    DEPENDS ${VELMORA_MAN_PAGE}
    COMMENT "Compressing the man page" VERBATIM)
add_custom_target(velmora_man_page ALL DEPENDS ${VELMORA_MAN_PAGE}.gz)

# The menu entry's icon, drawn at every size a desktop asks for.
set(VELMORA_ICONS ${CMAKE_BINARY_DIR}/icons)
add_executable(velmora_icon_art ${CMAKE_SOURCE_DIR}/assets/IconArt.cpp)
target_link_libraries(velmora_icon_art PRIVATE PkgConfig::CAIRO)
add_custom_command(OUTPUT ${VELMORA_ICONS}/hicolor/256x256/apps/velmora.png
    COMMAND velmora_icon_art ${VELMORA_ICONS}
    DEPENDS velmora_icon_art
    COMMENT "Drawing the icon")
add_custom_target(velmora_icons ALL DEPENDS ${VELMORA_ICONS}/hicolor/256x256/apps/velmora.png)

# Run paths: the program finds the libraries in ../lib/velmora, the libraries each
# other beside themselves, and the bundle's libraries the platform's three folders up.
set_target_properties(velmora PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/velmora")
set_target_properties(velmora_edit velmora_platformui PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(velmora_bundle velmora_view_bundle PROPERTIES INSTALL_RPATH "$ORIGIN/../../..")

# Shared libraries are read, not run: 0644, as Debian installs them.
set(VELMORA_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(VELMORA_LIBDIR lib/velmora)
set(VELMORA_COMPONENT_DIR ${VELMORA_LIBDIR}/Velmora.component/Contents)
set(VELMORA_LV2_INSTALL_DIR lib/lv2/velmora.lv2)

install(TARGETS velmora RUNTIME DESTINATION bin)
install(TARGETS velmora_platform velmora_platformui velmora_edit
        LIBRARY DESTINATION ${VELMORA_LIBDIR} PERMISSIONS ${VELMORA_LIBRARY_PERMISSIONS})
install(TARGETS velmora_bundle velmora_view_bundle
        LIBRARY DESTINATION ${VELMORA_COMPONENT_DIR}/Linux PERMISSIONS ${VELMORA_LIBRARY_PERMISSIONS})
install(FILES ${VELMORA_BUNDLE}/Contents/Info.plist DESTINATION ${VELMORA_COMPONENT_DIR})
install(DIRECTORY ${VELMORA_BUNDLE}/Contents/Resources DESTINATION ${VELMORA_COMPONENT_DIR})

install(TARGETS velmora_dsp LIBRARY DESTINATION ${VELMORA_LV2_INSTALL_DIR} PERMISSIONS ${VELMORA_LIBRARY_PERMISSIONS})
install(FILES ${VELMORA_LV2_BUNDLE}/manifest.ttl ${VELMORA_LV2_BUNDLE}/velmora.ttl
        DESTINATION ${VELMORA_LV2_INSTALL_DIR})
install(DIRECTORY ${VELMORA_LV2_BUNDLE}/presets DESTINATION ${VELMORA_LV2_INSTALL_DIR})
if(VELMORA_LV2_UI)
    install(TARGETS velmora_ui LIBRARY DESTINATION ${VELMORA_LV2_INSTALL_DIR} PERMISSIONS ${VELMORA_LIBRARY_PERMISSIONS})
    install(DIRECTORY ${VELMORA_LV2_BUNDLE}/Contents DESTINATION ${VELMORA_LV2_INSTALL_DIR})
endif()

install(FILES ${CMAKE_SOURCE_DIR}/examples/audition.mid DESTINATION share/velmora)
install(FILES ${VELMORA_MAN_PAGE}.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmora.desktop DESTINATION share/applications)
install(DIRECTORY ${VELMORA_ICONS}/hicolor DESTINATION share/icons)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION share/doc/velmora)
