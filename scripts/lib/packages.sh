# Debian packages that more than one script installs, named once.

# clang-14 building for wasm32-wasi against Debian's wasi-libc and libc++, binaryen's wasm-opt
# shrinking the linked modules (g++ builds the level data's generator).
VOR_WASM_TOOLCHAIN=(clang-14 lld-14 wasi-libc libc++-14-dev-wasm32 libc++abi-14-dev-wasm32
    libclang-rt-14-dev-wasm32 binaryen g++)
