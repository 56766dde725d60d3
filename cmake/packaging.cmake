# What the Linux installation carries beside the programs: the manual pages
# (with this version), the changelog and copyright every Debian package
# must have, the bash completion of talverine-cli and the AppStream
# metainfo that software centres show. Debian wants manual pages and
# changelogs compressed with gzip -9n: no name or time stamp in the header,
# so that a rebuild makes the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)

set(TALVERINE_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(TALVERINE_MAN_DIR ${TALVERINE_PACKAGING_DIR}/man)

# Copies `source` (relative to the source tree) to `copy` with
# configure_file's `how` (@ONLY fills in @PROJECT_VERSION@, COPYONLY copies)
# and compresses the copy into `copy`.gz.
function(talverine_gzipped_copy source copy how)
  configure_file(${source} ${copy} ${how})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${copy}
    DEPENDS ${copy}
    COMMENT "Compressing ${source}"
    VERBATIM)
endfunction()

set(TALVERINE_MAN_PAGES)
foreach(program talverine talverine-cli kilnbox-sim)
  talverine_gzipped_copy(packaging/man/${program}.1 ${TALVERINE_MAN_DIR}/${program}.1 @ONLY)
  list(APPEND TALVERINE_MAN_PAGES ${TALVERINE_MAN_DIR}/${program}.1.gz)
endforeach()
set(TALVERINE_CHANGELOG ${TALVERINE_PACKAGING_DIR}/changelog)
talverine_gzipped_copy(packaging/debian/changelog ${TALVERINE_CHANGELOG} COPYONLY)
add_custom_target(talverine_packaging_docs ALL DEPENDS ${TALVERINE_MAN_PAGES} ${TALVERINE_CHANGELOG}.gz)

install(FILES ${TALVERINE_MAN_PAGES} DESTINATION share/man/man1)
install(FILES packaging/debian/copyright ${TALVERINE_CHANGELOG}.gz DESTINATION share/doc/talverine)
install(FILES packaging/bash-completion/talverine-cli DESTINATION share/bash-completion/completions)
install(FILES resources/io.github.talverine.talverine.metainfo.xml DESTINATION share/metainfo)
