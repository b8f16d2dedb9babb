# The version users see comes from one place, the project version in
# CMakeLists.txt: the header quillane_version.h (QUILLANE_VERSION, for
# `edbtool --version`), the version resource of each Windows program, and the
# release (scripts/release.sh reads the same line).
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillane_version.h.in
               ${PROJECT_BINARY_DIR}/generated/quillane_version.h @ONLY)
add_library(quillane_version INTERFACE)
target_include_directories(quillane_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# quillane_version_resource(target "description"): gives a Windows program the
# program icon and a version resource with the description. The icon,
# packaging/quillane.ico, was drawn with ImageMagick:
#   convert -size 256x256 xc:none -fill '#1f7a68' \
#     -draw 'roundrectangle 10,10 245,245 48,48' -fill white -font DejaVu-Sans-Bold \
#     -pointsize 190 -gravity center -annotate +0+4 Q -depth 8 \
#     -define icon:auto-resize=256,48,32,16 packaging/quillane.ico
function(quillane_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(QV_NAME ${target})
  set(QV_DESCRIPTION ${description})
  set(QV_ICON ${PROJECT_SOURCE_DIR}/packaging/quillane.ico)
  set(rc ${PROJECT_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${QV_ICON})
endfunction()
