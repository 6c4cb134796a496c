/* Tells whether this Linux kernel lets a program run 32-bit x86 code, which Wine's WoW64
 * mode needs for the 32-bit build. It asks the kernel itself, without Wine: a child far-returns
 * into the 32-bit user code segment and jumps straight back. Some kernels refuse that segment
 * even with IA-32 emulation built in; then the far return faults.
 * Exit code: 0 it can, 1 it cannot (the far return was refused), 2 the probe went wrong. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

enum { CAN = 0, CANNOT = 1, PROBE_FAILED = 2 };
/* The child's exit codes. */
enum { CHILD_BACK = 0, CHILD_REFUSED = 3, CHILD_OTHER_FAULT = 4, CHILD_FELL_THROUGH = 5 };

extern char probe_enter32[], probe_far_return[], probe_code32[];

/* Selectors of Linux's x86-64 GDT: 0x23 the 32-bit user code segment, 0x33 the 64-bit one.
 * The 32-bit code uses no stack (its stack pointer would be cut to 32 bits), and the way back
 * ends the child with exit_group(0) at once, since 64-bit registers are undefined after it. */
__asm__(".text\n"
        ".globl probe_enter32\n"
        "probe_enter32:\n"
        "  pushq $0x23\n"
        "  leaq probe_code32(%rip), %rax\n"
        "  pushq %rax\n"
        ".globl probe_far_return\n"
        "probe_far_return:\n"
        "  lretq\n"
        ".code32\n"
        ".globl probe_code32\n"
        "probe_code32:\n"
        "  ljmp $0x33, $probe_back64\n"
        ".code64\n"
        "probe_back64:\n"
        "  movl $231, %eax\n"
        "  xorl %edi, %edi\n"
        "  syscall\n");

static void on_fault(int sig, siginfo_t* info, void* context)
{
    const ucontext_t* uc = context;
    (void)sig;
    (void)info;
    _exit(uc->uc_mcontext.gregs[REG_RIP] == (greg_t)probe_far_return ? CHILD_REFUSED
                                                                     : CHILD_OTHER_FAULT);
}

int main(void)
{
    if ((uintptr_t)probe_code32 > UINT32_MAX) {
        fprintf(stderr, "probe-32bit: the probe's code lies above 4 GiB (link it with -no-pie)\n");
        return PROBE_FAILED;
    }
    fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        perror("probe-32bit: fork");
        return PROBE_FAILED;
    }
    if (pid == 0) {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = on_fault;
        sa.sa_flags = SA_SIGINFO;
        sigaction(SIGSEGV, &sa, NULL);
        sigaction(SIGBUS, &sa, NULL);
        ((void (*)(void))probe_enter32)();
        _exit(CHILD_FELL_THROUGH);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        perror("probe-32bit: waitpid");
        return PROBE_FAILED;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == CHILD_BACK) {
        printf("this machine can run 32-bit code: the kernel let a program into the 32-bit "
               "user code segment and back\n");
        return CAN;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == CHILD_REFUSED) {
        printf("this machine cannot run 32-bit code: the kernel refused a far return into the "
               "32-bit user code segment (selector 0x23)\n");
        return CANNOT;
    }
    if (WIFSIGNALED(status))
        fprintf(stderr, "probe-32bit: the probe's child died of signal %d\n", WTERMSIG(status));
    else
        fprintf(stderr, "probe-32bit: the probe's child ended with code %d\n", WEXITSTATUS(status));
    return PROBE_FAILED;
}
