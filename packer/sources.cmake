# The packing tool's portable sources, shared by pack.exe and the native pack.
# The core: manifest reading and checking, the package writer, the PE layout of the setup
# executable, icons and the version resource. No platform calls and no host's files.
set(PACKER_CORE_SOURCES package_writer.cpp package_names.cpp manifest.cpp target_names.cpp
    text_encoding.cpp message_text.cpp pe_image.cpp setup_image.cpp icon_file.cpp
    version_resource.cpp)
# The tool's own flows (command line, packing, listing, signing), over the host side that
# each program brings: *_windows.cpp or *_posix.cpp.
set(PACKER_TOOL_SOURCES pack_command.cpp packing.cpp package_listing.cpp setup_writer.cpp
    signing.cpp)
