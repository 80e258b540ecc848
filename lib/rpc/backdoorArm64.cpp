// The four hypervisor-call stubs of 64-bit Arm. Leaf routines without stack: the block pointer
// sits in a scratch register the call does not carry (x6 for the six-word call, x8 for the
// seven-word calls), the trap is a read of MDCCSR_EL0 that the hypervisor intercepts, and x7
// tells it which kind of call this is. The probe's copy lives in MISC, apart from the others in
// BACKDOOR, so that its trap is the one address the exception guard steps over.
#if !defined(__aarch64__)
#error "the Arm stubs are built for 64-bit Arm only"
#endif

// clang-format off
#define TX_LOW_BANDWIDTH_BODY(trapLabel)       \
   "   mov  x6, x0\n"                          \
   "   ldp  x0, x1, [x6]\n"                    \
   "   ldp  x2, x3, [x6, #16]\n"               \
   "   ldp  x4, x5, [x6, #32]\n"               \
   "   movz x7, #0x000E\n"                     \
   "   movk x7, #0x86, lsl #32\n"              \
   trapLabel                                   \
   "   mrs  xzr, mdccsr_el0\n"                 \
   "   stp  x0, x1, [x6]\n"                    \
   "   stp  x2, x3, [x6, #16]\n"               \
   "   stp  x4, x5, [x6, #32]\n"               \
   "   ret\n"

#define TX_HIGH_BANDWIDTH_BODY(operation)      \
   "   mov  x8, x0\n"                          \
   "   ldp  x0, x1, [x8]\n"                    \
   "   ldp  x2, x3, [x8, #16]\n"               \
   "   ldp  x4, x5, [x8, #32]\n"               \
   "   ldr  x6, [x8, #48]\n"                   \
   "   movz x7, #" operation "\n"              \
   "   movk x7, #0x86, lsl #32\n"              \
   "   mrs  xzr, mdccsr_el0\n"                 \
   "   stp  x0, x1, [x8]\n"                    \
   "   stp  x2, x3, [x8, #16]\n"               \
   "   stp  x4, x5, [x8, #32]\n"               \
   "   str  x6, [x8, #48]\n"                   \
   "   ret\n"

#define TX_FUNCTION(name)                                  \
   "   .globl " name "\n"                                   \
   "   .def " name "; .scl 2; .type 32; .endef\n"           \
   "   .p2align 2\n"                                        \
   name ":\n"

asm(
   "   .section MISC,\"xr\"\n"
   TX_FUNCTION("Backdoor_ProbeLowBandwidth")
   TX_LOW_BANDWIDTH_BODY(TX_FUNCTION("Backdoor_ProbeTrapSite"))

   "   .section BACKDOOR,\"xr\"\n"
   TX_FUNCTION("Backdoor_LowBandwidth")
   TX_LOW_BANDWIDTH_BODY("")
   TX_FUNCTION("Backdoor_HighBandwidthOut")
   TX_HIGH_BANDWIDTH_BODY("0x0018")
   TX_FUNCTION("Backdoor_HighBandwidthIn")
   TX_HIGH_BANDWIDTH_BODY("0x001C")
   "   .text\n");
// clang-format on
