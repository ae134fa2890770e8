// Ponderix scale driver for .NET: the C interface of the driver library (ponderix.h) in C#.
//
// One file, C# 7.3, nothing beyond the base library: it compiles for .NET Framework 4.x, Mono,
// .NET Standard 2.0 and .NET 6+. Two layers:
// - Ponderix.Native mirrors every pdx_ function of ponderix.h one to one (cdecl, UTF-8 texts as
//   NUL-terminated byte arrays, the structs with the C layout, checked at start-up);
// - Ponderix.Scale is the idiomatic layer: a disposable scale whose failures are exceptions
//   carrying the result's code and name.
//
// The library is driver.dll on Windows and libdriver.so.1 elsewhere, found by the system's
// search (the program's folder and PATH on Windows; LD_LIBRARY_PATH, the cache of ldconfig on
// Linux), so the caller has nothing to configure. (A DllImport name is fixed when the program
// is compiled, and Mono binds it when it compiles the calling method: a path chosen at run time
// cannot be honoured reliably, so there is none.)
//
// Threads: one Scale may be used by several threads; the library serialises the calls on it.
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace Ponderix
{
    /// <summary>Every result code of the C interface (the numbers of ponderix.h).</summary>
    public static class ResultCode
    {
        public const int Ok = 0;
        public const int Unset = 1;
        public const int ErrorCaseUnknown = 2;
        public const int IncorrectArguments = 3;
        public const int ConnectionError = 4;
        public const int UnableToOpenSerialPort = 5;
        public const int UnknownSystemError = 6;
        public const int TimeOut = 7;
        public const int HandleNull = 8;
        public const int HandleInvalid = 9;
        public const int HandleDoesNotExist = 10;
        public const int ParamTypeUnknown = 11;
        public const int ParamTypeUnsupported = 12;
        public const int ParamTypeIsNotSetToGet = 13;
        public const int OptionUnknown = 14;
        public const int OptionUnsupported = 15;
        public const int OptionIsNotSetToGet = 16;
        public const int ParamValueUnknown = 17;
        public const int ParamValueUnsupported = 18;
        public const int ParamValueUnset = 19;
        public const int CommandUnknown = 20;
        public const int CommandUnsupported = 21;
        public const int DeviceResponseIncorrectFormat = 22;
        public const int DeviceUnexpectedResponse = 23;
        public const int DeviceReturnsError = 24;
        public const int DeviceIsNotStabilized = 25;
        public const int UnknownException = 26;
        public const int OpenCheckValuesNotEqual = 27;
        public const int JsonKeyMissing = 28;
        public const int JsonAnotherFileExtension = 29;
        public const int JsonFileDoesNotExist = 30;
        public const int JsonFileParsingProblem = 31;
        public const int CommandLineIncorrectArgument = 32;
        public const int UnableToOpenFile = 33;
        public const int WrongModelChosen = 34;
        public const int EscapeClicked = 35;
        public const int LogicDeviceJsonError = 36;
        public const int LogicDeviceNotFound = 37;
        public const int NotAllParamsAreSet = 38;
        public const int BufferTooSmall = 100;
        public const int WeightUnstable = 101;
        public const int WeightUnderZero = 102;
        public const int WeightOverload = 103;
        public const int WeightBelowMinimum = 104;
        public const int WeightSame = 105;
        public const int WeightZero = 106;
        public const int NotOpen = 107;

        /// <summary>Every code above, ascending.</summary>
        public static readonly int[] All = BuildAll();

        static int[] BuildAll()
        {
            var codes = new List<int>();
            for (int code = 0; code <= 38; ++code) codes.Add(code);
            for (int code = 100; code <= 107; ++code) codes.Add(code);
            return codes.ToArray();
        }
    }

    /// <summary>Status of a reading (the numbers of the point-of-sale device standards).</summary>
    public enum ScaleStatus
    {
        Stable = 11,      // settled, above zero, at or above the minimum
        Unstable = 12,    // not settled
        Zero = 13,        // settled at zero
        Overload = 14,    // beyond the scale's range
        NotReady = 15,    // no answer
        UnderZero = 16,   // settled below zero
        Underweight = 17  // settled, above zero, below the minimum
    }

    /// <summary>Lowest level the library's log writes. Trace (the library's start) costs about
    /// 2.7 KB of log per weight read; a till in service wants Warning.</summary>
    public enum LogMode { Trace = 0, Info = 1, Warning = 2, Error = 3 }

    /// <summary>The texts of a connection type, and of a protocol or model the library finds out
    /// itself when the line opens (PDX_SERIAL_PORT, PDX_TCP, PDX_AUTO).</summary>
    public static class ConnectionText
    {
        public const string SerialPort = "Serial Port";
        public const string Tcp = "TCP";
        public const string Auto = "auto";
    }

    /// <summary>Languages of the result descriptions.</summary>
    public enum Language { Russian = 1, English = 2 }

    /// <summary>struct pdx_weight: one reading, all of it from one status exchange. Blittable:
    /// the two character arrays are held as 64-bit words (TextBytes and UnitBytes give them back).</summary>
    [StructLayout(LayoutKind.Explicit, Size = Size)]
    public struct PdxWeight
    {
        public const int Size = 72;
        [FieldOffset(0)] public ulong text0;      // char text[32]: the weight as the scale sent it
        [FieldOffset(8)] public ulong text1;
        [FieldOffset(16)] public ulong text2;
        [FieldOffset(24)] public ulong text3;
        [FieldOffset(32)] public long weight_mg;
        [FieldOffset(40)] public ulong unit0;     // char unit[8]
        [FieldOffset(48)] public int stable;      // PDX_FLAG_*: 0 no, 1 yes, -1 unknown
        [FieldOffset(52)] public int overload;
        [FieldOffset(56)] public int net;
        [FieldOffset(60)] public int tare_known;
        [FieldOffset(64)] public long tare_mg;

        /// <summary>char text[32], NUL-terminated UTF-8.</summary>
        public byte[] TextBytes() { return Bytes(text0, text1, text2, text3); }
        /// <summary>char unit[8], NUL-terminated.</summary>
        public byte[] UnitBytes() { return Bytes(unit0); }

        // The words back into the bytes they hold in memory.
        static byte[] Bytes(params ulong[] words)
        {
            var bytes = new byte[words.Length * 8];
            for (int i = 0; i < words.Length; ++i)
            {
                byte[] word = BitConverter.GetBytes(words[i]);
                if (!BitConverter.IsLittleEndian) Array.Reverse(word);
                Array.Copy(word, 0, bytes, i * 8, 8);
            }
            return bytes;
        }
    }

    /// <summary>struct pdx_sale_weight: a reading classified for a sale.</summary>
    [StructLayout(LayoutKind.Explicit, Size = Size)]
    public struct PdxSaleWeight
    {
        public const int Size = 120;
        [FieldOffset(0)] public PdxWeight reading;
        [FieldOffset(72)] public ulong sequence;
        [FieldOffset(80)] public long taken_at_ms;
        [FieldOffset(88)] public long minimum_mg;
        [FieldOffset(96)] public long maximum_mg;
        [FieldOffset(104)] public long division_mg;
        [FieldOffset(112)] public int status;
    }

    /// <summary>struct pdx_capabilities: each 0 or 1.</summary>
    [StructLayout(LayoutKind.Explicit, Size = Size)]
    public struct PdxCapabilities
    {
        public const int Size = 36;
        [FieldOffset(0)] public int can_zero;
        [FieldOffset(4)] public int can_tare;
        [FieldOffset(8)] public int can_specify_tare;
        [FieldOffset(12)] public int reports_stable;
        [FieldOffset(16)] public int reports_overload;
        [FieldOffset(20)] public int reports_net;
        [FieldOffset(24)] public int reports_tare;
        [FieldOffset(28)] public int maximum_known;
        [FieldOffset(32)] public int division_known;
    }

    /// <summary>
    /// The raw layer: every function of ponderix.h under its own name, the same arguments and the
    /// same result code. Texts in are NUL-terminated UTF-8 byte arrays (Native.Utf8); text outputs
    /// go into a byte array of `size` bytes with the size needed in `needed`.
    /// </summary>
    public static class Native
    {
        /// <summary>The library's file, found by the system's search for libraries.</summary>
        public static readonly string LibraryFile = IsWindows ? "driver.dll" : "libdriver.so.1";

        static bool IsWindows
        {
            get { return Path.DirectorySeparatorChar == '\\'; }
        }

        static Native()
        {
            // A declaration that does not match the C layout would corrupt memory: refuse to start.
            CheckSize(typeof(PdxWeight), PdxWeight.Size);
            CheckSize(typeof(PdxSaleWeight), PdxSaleWeight.Size);
            CheckSize(typeof(PdxCapabilities), PdxCapabilities.Size);
        }

        static void CheckSize(Type type, int size)
        {
            if (Marshal.SizeOf(type) != size)
                throw new InvalidOperationException(type.Name + " takes " + Marshal.SizeOf(type) +
                                                    " bytes here, the C struct " + size);
        }

        /// <summary>Makes sure the library loads: a DllNotFoundException naming the file otherwise.</summary>
        public static void EnsureLoaded()
        {
            try
            {
                pdx_result_name(0);
            }
            catch (DllNotFoundException error)
            {
                throw new DllNotFoundException("the Ponderix driver library " + LibraryFile + " was not found (" +
                                               (IsWindows ? "put it beside the program or on PATH"
                                                          : "install the runtime package, or name its folder in LD_LIBRARY_PATH") +
                                               "): " + error.Message, error);
            }
            catch (EntryPointNotFoundException error)
            {
                throw new DllNotFoundException("the library " + LibraryFile + " has no C interface: " + error.Message, error);
            }
        }

        /// <summary>A text as the C interface takes it: UTF-8 and NUL-terminated (null stays null).</summary>
        public static byte[] Utf8(string text)
        {
            if (text == null) return null;
            var bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        /// <summary>The text in a buffer up to its first NUL.</summary>
        public static string FromUtf8(byte[] buffer)
        {
            int length = Array.IndexOf(buffer, (byte)0);
            return Encoding.UTF8.GetString(buffer, 0, length < 0 ? buffer.Length : length);
        }

        /// <summary>A NUL-terminated UTF-8 text the library owns (pdx_result_name); null for NULL.</summary>
        public static string FromUtf8(IntPtr text)
        {
            if (text == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) ++length;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        public static int pdx_create(out long handle) { return IsWindows ? Win32.pdx_create(out handle) : Posix.pdx_create(out handle); }
        public static int pdx_destroy(long handle) { return IsWindows ? Win32.pdx_destroy(handle) : Posix.pdx_destroy(handle); }
        public static int pdx_open(long handle, int logic_device_id) { return IsWindows ? Win32.pdx_open(handle, logic_device_id) : Posix.pdx_open(handle, logic_device_id); }
        public static int pdx_open_line(long handle, byte[] connection_type, byte[] end_point, byte[] protocol, int baud_rate, byte[] model) { return IsWindows ? Win32.pdx_open_line(handle, connection_type, end_point, protocol, baud_rate, model) : Posix.pdx_open_line(handle, connection_type, end_point, protocol, baud_rate, model); }
        public static int pdx_close(long handle) { return IsWindows ? Win32.pdx_close(handle) : Posix.pdx_close(handle); }
        public static int pdx_is_open(long handle, out int is_open) { return IsWindows ? Win32.pdx_is_open(handle, out is_open) : Posix.pdx_is_open(handle, out is_open); }
        public static int pdx_set_param(long handle, int param, byte[] value) { return IsWindows ? Win32.pdx_set_param(handle, param, value) : Posix.pdx_set_param(handle, param, value); }
        public static int pdx_get_param(long handle, int param, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_param(handle, param, buffer, size, out needed) : Posix.pdx_get_param(handle, param, buffer, size, out needed); }
        public static int pdx_get_input_param(long handle, int param, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_input_param(handle, param, buffer, size, out needed) : Posix.pdx_get_input_param(handle, param, buffer, size, out needed); }
        public static int pdx_set_option(long handle, int option, byte[] value) { return IsWindows ? Win32.pdx_set_option(handle, option, value) : Posix.pdx_set_option(handle, option, value); }
        public static int pdx_get_option(long handle, int option, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_option(handle, option, buffer, size, out needed) : Posix.pdx_get_option(handle, option, buffer, size, out needed); }
        public static int pdx_execute_command(long handle, int command) { return IsWindows ? Win32.pdx_execute_command(handle, command) : Posix.pdx_execute_command(handle, command); }
        public static int pdx_get_protocol(long handle, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_protocol(handle, buffer, size, out needed) : Posix.pdx_get_protocol(handle, buffer, size, out needed); }
        public static int pdx_read_weight(long handle, out PdxWeight weight) { return IsWindows ? Win32.pdx_read_weight(handle, out weight) : Posix.pdx_read_weight(handle, out weight); }
        public static int pdx_read_sale_weight(long handle, int timeout_ms, out PdxSaleWeight sale) { return IsWindows ? Win32.pdx_read_sale_weight(handle, timeout_ms, out sale) : Posix.pdx_read_sale_weight(handle, timeout_ms, out sale); }
        public static int pdx_set_sale_limits(long handle, long minimum_mg, long maximum_mg, long division_mg) { return IsWindows ? Win32.pdx_set_sale_limits(handle, minimum_mg, maximum_mg, division_mg) : Posix.pdx_set_sale_limits(handle, minimum_mg, maximum_mg, division_mg); }
        public static int pdx_get_status(long handle, out int status, out PdxWeight reading) { return IsWindows ? Win32.pdx_get_status(handle, out status, out reading) : Posix.pdx_get_status(handle, out status, out reading); }
        public static int pdx_wait_status(long handle, int last_status, int timeout_ms, out int status, out PdxWeight reading) { return IsWindows ? Win32.pdx_wait_status(handle, last_status, timeout_ms, out status, out reading) : Posix.pdx_wait_status(handle, last_status, timeout_ms, out status, out reading); }
        public static int pdx_specify_tare_mg(long handle, long tare_mg) { return IsWindows ? Win32.pdx_specify_tare_mg(handle, tare_mg) : Posix.pdx_specify_tare_mg(handle, tare_mg); }
        public static int pdx_check_health(long handle, int level, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_check_health(handle, level, buffer, size, out needed) : Posix.pdx_check_health(handle, level, buffer, size, out needed); }
        public static int pdx_get_statistics(long handle, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_statistics(handle, buffer, size, out needed) : Posix.pdx_get_statistics(handle, buffer, size, out needed); }
        public static int pdx_get_capabilities(long handle, out PdxCapabilities capabilities) { return IsWindows ? Win32.pdx_get_capabilities(handle, out capabilities) : Posix.pdx_get_capabilities(handle, out capabilities); }
        public static int pdx_protocol_names(byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_protocol_names(buffer, size, out needed) : Posix.pdx_protocol_names(buffer, size, out needed); }
        public static int pdx_list_ports(byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_list_ports(buffer, size, out needed) : Posix.pdx_list_ports(buffer, size, out needed); }
        public static int pdx_discover(byte[] ports, int timeout_ms, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_discover(ports, timeout_ms, buffer, size, out needed) : Posix.pdx_discover(ports, timeout_ms, buffer, size, out needed); }
        /// <summary>The name of a code: a static text of the library, never to be freed (hence IntPtr).</summary>
        public static IntPtr pdx_result_name(int code) { return IsWindows ? Win32.pdx_result_name(code) : Posix.pdx_result_name(code); }
        public static int pdx_get_error_description(int code, int language, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_error_description(code, language, buffer, size, out needed) : Posix.pdx_get_error_description(code, language, buffer, size, out needed); }
        public static int pdx_get_log_settings(byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_log_settings(buffer, size, out needed) : Posix.pdx_get_log_settings(buffer, size, out needed); }
        public static int pdx_change_log_settings(byte[] settings) { return IsWindows ? Win32.pdx_change_log_settings(settings) : Posix.pdx_change_log_settings(settings); }
        public static int pdx_logging_set_mode(int mode) { return IsWindows ? Win32.pdx_logging_set_mode(mode) : Posix.pdx_logging_set_mode(mode); }
        public static int pdx_get_logging_path(byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_logging_path(buffer, size, out needed) : Posix.pdx_get_logging_path(buffer, size, out needed); }
        public static int pdx_get_version(byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_version(buffer, size, out needed) : Posix.pdx_get_version(buffer, size, out needed); }
        public static int pdx_add_logic_device(long handle, out int id) { return IsWindows ? Win32.pdx_add_logic_device(handle, out id) : Posix.pdx_add_logic_device(handle, out id); }
        public static int pdx_delete_logic_device(long handle, int id) { return IsWindows ? Win32.pdx_delete_logic_device(handle, id) : Posix.pdx_delete_logic_device(handle, id); }
        public static int pdx_set_current_logic_device(long handle, int id) { return IsWindows ? Win32.pdx_set_current_logic_device(handle, id) : Posix.pdx_set_current_logic_device(handle, id); }
        public static int pdx_get_current_logic_device(long handle, out int id) { return IsWindows ? Win32.pdx_get_current_logic_device(handle, out id) : Posix.pdx_get_current_logic_device(handle, out id); }
        public static int pdx_set_logic_device_param(long handle, int id, int type, byte[] value) { return IsWindows ? Win32.pdx_set_logic_device_param(handle, id, type, value) : Posix.pdx_set_logic_device_param(handle, id, type, value); }
        public static int pdx_get_logic_device_param(long handle, int id, int type, byte[] buffer, UIntPtr size, out UIntPtr needed) { return IsWindows ? Win32.pdx_get_logic_device_param(handle, id, type, buffer, size, out needed) : Posix.pdx_get_logic_device_param(handle, id, type, buffer, size, out needed); }
        public static int pdx_get_logic_device_ids(long handle, int[] ids, UIntPtr capacity, out UIntPtr count) { return IsWindows ? Win32.pdx_get_logic_device_ids(handle, ids, capacity, out count) : Posix.pdx_get_logic_device_ids(handle, ids, capacity, out count); }

        // The same declarations twice: the library's file name differs, and .NET Framework has no
        // way to change a DllImport's name at run time. Windows looks for driver.dll; elsewhere the
        // runtime package's libdriver.so.1 is loaded by its exact name.
        static class Win32
        {
            const string Library = "driver";
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_create(out long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_destroy(long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_open(long handle, int logic_device_id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_open_line(long handle, byte[] connection_type, byte[] end_point, byte[] protocol, int baud_rate, byte[] model);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_close(long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_is_open(long handle, out int is_open);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_param(long handle, int param, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_param(long handle, int param, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_input_param(long handle, int param, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_option(long handle, int option, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_option(long handle, int option, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_execute_command(long handle, int command);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_protocol(long handle, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_read_weight(long handle, out PdxWeight weight);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_read_sale_weight(long handle, int timeout_ms, out PdxSaleWeight sale);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_sale_limits(long handle, long minimum_mg, long maximum_mg, long division_mg);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_status(long handle, out int status, out PdxWeight reading);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_wait_status(long handle, int last_status, int timeout_ms, out int status, out PdxWeight reading);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_specify_tare_mg(long handle, long tare_mg);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_check_health(long handle, int level, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_statistics(long handle, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_capabilities(long handle, out PdxCapabilities capabilities);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_protocol_names([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_list_ports([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_discover(byte[] ports, int timeout_ms, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern IntPtr pdx_result_name(int code);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_error_description(int code, int language, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_log_settings([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_change_log_settings(byte[] settings);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_logging_set_mode(int mode);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logging_path([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_version([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_add_logic_device(long handle, out int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_delete_logic_device(long handle, int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_current_logic_device(long handle, int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_current_logic_device(long handle, out int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_logic_device_param(long handle, int id, int type, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logic_device_param(long handle, int id, int type, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logic_device_ids(long handle, [Out] int[] ids, UIntPtr capacity, out UIntPtr count);
        }

        static class Posix
        {
            const string Library = "libdriver.so.1";
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_create(out long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_destroy(long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_open(long handle, int logic_device_id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_open_line(long handle, byte[] connection_type, byte[] end_point, byte[] protocol, int baud_rate, byte[] model);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_close(long handle);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_is_open(long handle, out int is_open);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_param(long handle, int param, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_param(long handle, int param, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_input_param(long handle, int param, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_option(long handle, int option, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_option(long handle, int option, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_execute_command(long handle, int command);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_protocol(long handle, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_read_weight(long handle, out PdxWeight weight);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_read_sale_weight(long handle, int timeout_ms, out PdxSaleWeight sale);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_sale_limits(long handle, long minimum_mg, long maximum_mg, long division_mg);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_status(long handle, out int status, out PdxWeight reading);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_wait_status(long handle, int last_status, int timeout_ms, out int status, out PdxWeight reading);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_specify_tare_mg(long handle, long tare_mg);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_check_health(long handle, int level, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_statistics(long handle, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_capabilities(long handle, out PdxCapabilities capabilities);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_protocol_names([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_list_ports([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_discover(byte[] ports, int timeout_ms, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern IntPtr pdx_result_name(int code);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_error_description(int code, int language, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_log_settings([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_change_log_settings(byte[] settings);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_logging_set_mode(int mode);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logging_path([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_version([Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_add_logic_device(long handle, out int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_delete_logic_device(long handle, int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_current_logic_device(long handle, int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_current_logic_device(long handle, out int id);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_set_logic_device_param(long handle, int id, int type, byte[] value);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logic_device_param(long handle, int id, int type, [Out] byte[] buffer, UIntPtr size, out UIntPtr needed);
            [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] internal static extern int pdx_get_logic_device_ids(long handle, [Out] int[] ids, UIntPtr capacity, out UIntPtr count);
        }
    }

    /// <summary>One reading, all of it from one exchange. A flag the protocol cannot report is null.</summary>
    public sealed class Weight
    {
        public string Text { get; private set; }      // as the scale sent it: "1250" (POS, grams), "1.250"
        public long WeightMg { get; private set; }    // signed milligrams
        public string Unit { get; private set; }      // of Text: "g", "kg" or "lb"
        public bool? Stable { get; private set; }
        public bool? Overload { get; private set; }
        public bool? Net { get; private set; }
        public long? TareMg { get; private set; }     // null where the protocol does not report it

        internal Weight(PdxWeight raw)
        {
            Text = Native.FromUtf8(raw.TextBytes());
            WeightMg = raw.weight_mg;
            Unit = Native.FromUtf8(raw.UnitBytes());
            Stable = Flag(raw.stable);
            Overload = Flag(raw.overload);
            Net = Flag(raw.net);
            TareMg = raw.tare_known != 0 ? raw.tare_mg : (long?)null;
        }

        static bool? Flag(int value) { return value < 0 ? (bool?)null : value != 0; }

        public override string ToString() { return Text + " " + Unit; }
    }

    /// <summary>A weight a sale may use (or, in a refusal, the last reading and its status).</summary>
    public sealed class SaleWeight
    {
        public Weight Reading { get; private set; }
        public ulong Sequence { get; private set; }          // from 1 per handle; 0 on a refusal
        public DateTimeOffset TakenAt { get; private set; }  // the exchange's wall-clock time, UTC
        public long MinimumMg { get; private set; }          // limits the checks used; 0 where unknown
        public long MaximumMg { get; private set; }
        public long DivisionMg { get; private set; }
        public ScaleStatus Status { get; private set; }

        internal SaleWeight(PdxSaleWeight raw)
        {
            Reading = new Weight(raw.reading);
            Sequence = raw.sequence;
            TakenAt = new DateTimeOffset(1970, 1, 1, 0, 0, 0, TimeSpan.Zero).AddMilliseconds(raw.taken_at_ms);
            MinimumMg = raw.minimum_mg;
            MaximumMg = raw.maximum_mg;
            DivisionMg = raw.division_mg;
            Status = (ScaleStatus)raw.status;
        }
    }

    /// <summary>What the opened protocol offers; the last two say what is known now.</summary>
    public sealed class Capabilities
    {
        public bool CanZero, CanTare, CanSpecifyTare, ReportsStable, ReportsOverload, ReportsNet, ReportsTare,
            MaximumKnown, DivisionKnown;
    }

    /// <summary>A call of the driver failed: Code is the result number, Name its name
    /// ("ConnectionError"), Message its English description.</summary>
    public class PonderixException : Exception
    {
        public int Code { get; private set; }
        public string Name { get; private set; }

        public PonderixException(int code, string name, string message)
            : base(name + " (" + code + "): " + message)
        {
            Code = code;
            Name = name;
        }

        /// <summary>The exception for a result code: a SaleRefusedException subclass for 101..106.</summary>
        public static PonderixException For(int code, SaleWeight last = null)
        {
            string name = Native.FromUtf8(Native.pdx_result_name(code)) ?? code.ToString();
            string message = Scale.Describe(code, Language.English);
            switch (code)
            {
                case ResultCode.WeightUnstable: return new WeightUnstableException(code, name, message, last);
                case ResultCode.WeightUnderZero: return new WeightUnderZeroException(code, name, message, last);
                case ResultCode.WeightOverload: return new WeightOverloadException(code, name, message, last);
                case ResultCode.WeightBelowMinimum: return new WeightBelowMinimumException(code, name, message, last);
                case ResultCode.WeightSame: return new SameWeightException(code, name, message, last);
                case ResultCode.WeightZero: return new NothingOnScaleException(code, name, message, last);
                default: return new PonderixException(code, name, message);
            }
        }
    }

    /// <summary>No weight a sale may use; LastReading holds the reading decided on and its status.</summary>
    public abstract class SaleRefusedException : PonderixException
    {
        public SaleWeight LastReading { get; private set; }

        protected SaleRefusedException(int code, string name, string message, SaleWeight last)
            : base(code, name, message)
        {
            LastReading = last;
        }
    }

    /// <summary>101: no settled weight within the time-out.</summary>
    public sealed class WeightUnstableException : SaleRefusedException
    {
        public WeightUnstableException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>102: the weight is below zero.</summary>
    public sealed class WeightUnderZeroException : SaleRefusedException
    {
        public WeightUnderZeroException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>103: the load is beyond the scale's range.</summary>
    public sealed class WeightOverloadException : SaleRefusedException
    {
        public WeightOverloadException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>104: the weight is below the scale's minimum.</summary>
    public sealed class WeightBelowMinimumException : SaleRefusedException
    {
        public WeightBelowMinimumException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>105: the load of the last sale weight has not been taken off.</summary>
    public sealed class SameWeightException : SaleRefusedException
    {
        public SameWeightException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>106: nothing on the platform.</summary>
    public sealed class NothingOnScaleException : SaleRefusedException
    {
        public NothingOnScaleException(int c, string n, string m, SaleWeight l) : base(c, n, m, l) { }
    }

    /// <summary>
    /// One scale on one device handle. Make it with Serial, Tcp or Profile and dispose of it (a
    /// using block), which closes the line and destroys the device. One Scale may be shared by
    /// threads: the library serialises the calls on it.
    /// </summary>
    public sealed class Scale : IDisposable
    {
        const int CmdGetSerialNumber = 9, CmdSetZero = 52, CmdSetTare = 53;
        const int ParamScalesModel = 1, ParamSerialNumber = 5;
        const int LdName = 2;

        long handle;

        Scale()
        {
            Native.EnsureLoaded();
            long created;
            Check(Native.pdx_create(out created));
            handle = created;
        }

        /// <summary>A scale on a serial port ("COM3", "/dev/ttyUSB0"); nothing is saved in the
        /// store of logic devices.</summary>
        public static Scale Serial(string port, string protocol = ConnectionText.Auto, int baudRate = 9600, string model = ConnectionText.Auto)
        {
            return OpenLine(ConnectionText.SerialPort, port, protocol, baudRate, model);
        }

        /// <summary>A scale on TCP (port 77 unless given); nothing is saved in the store.</summary>
        public static Scale Tcp(string host, int port = 77, string protocol = ConnectionText.Auto, string model = ConnectionText.Auto)
        {
            return OpenLine(ConnectionText.Tcp, host + ":" + port, protocol, 9600, model);
        }

        /// <summary>A saved logic device, by its name.</summary>
        public static Scale Profile(string name)
        {
            var scale = new Scale();
            try
            {
                scale.Check(Native.pdx_open(scale.handle, scale.FindProfile(name)));
                return scale;
            }
            catch
            {
                scale.Dispose();
                throw;
            }
        }

        static Scale OpenLine(string connectionType, string endPoint, string protocol, int baudRate, string model)
        {
            var scale = new Scale();
            try
            {
                scale.Check(Native.pdx_open_line(scale.handle, Native.Utf8(connectionType), Native.Utf8(endPoint),
                                                 Native.Utf8(protocol), baudRate, Native.Utf8(model)));
                return scale;
            }
            catch
            {
                scale.Dispose();
                throw;
            }
        }

        int FindProfile(string name)
        {
            UIntPtr count;
            int code = Native.pdx_get_logic_device_ids(Handle, null, UIntPtr.Zero, out count);
            if (code != ResultCode.Ok && code != ResultCode.BufferTooSmall) Check(code);
            var ids = new int[Math.Max((int)count.ToUInt32(), 1)];
            Check(Native.pdx_get_logic_device_ids(Handle, ids, new UIntPtr((uint)ids.Length), out count));
            for (int i = 0; i < (int)count.ToUInt32(); ++i)
            {
                int id = ids[i];
                string found = Text(delegate(byte[] b, UIntPtr s, out UIntPtr n)
                                    { return Native.pdx_get_logic_device_param(Handle, id, LdName, b, s, out n); });
                if (found == name) return id;
            }
            throw new PonderixException(ResultCode.LogicDeviceNotFound, "LogicDeviceNotFound",
                                        "no saved logic device is named \"" + name + "\"");
        }

        /// <summary>The device handle of the raw layer (Native). ObjectDisposedException once disposed.</summary>
        public long Handle
        {
            get
            {
                long value = Interlocked.Read(ref handle);
                if (value == 0) throw new ObjectDisposedException("Scale", "scale is closed");
                return value;
            }
        }

        /// <summary>One fresh reading.</summary>
        public Weight ReadWeight()
        {
            PdxWeight raw;
            Check(Native.pdx_read_weight(Handle, out raw));
            return new Weight(raw);
        }

        /// <summary>A weight a sale may use: readings are taken until one is settled or the time-out
        /// has passed (TimeSpan.Zero: one exchange). A refusal throws a SaleRefusedException
        /// subclass carrying the last reading.</summary>
        public SaleWeight ReadSaleWeight(TimeSpan timeout)
        {
            PdxSaleWeight raw;
            int code = Native.pdx_read_sale_weight(Handle, Milliseconds(timeout), out raw);
            var sale = new SaleWeight(raw);
            if (code != ResultCode.Ok) throw PonderixException.For(code, sale);
            return sale;
        }

        /// <summary>ReadSaleWeight with a time-out of 2 s.</summary>
        public SaleWeight ReadSaleWeight() { return ReadSaleWeight(TimeSpan.FromSeconds(2)); }

        /// <summary>The status of one fresh reading. A failed exchange throws.</summary>
        public ScaleStatus Status
        {
            get
            {
                Weight reading;
                return GetStatus(out reading);
            }
        }

        public ScaleStatus GetStatus(out Weight reading)
        {
            int status;
            PdxWeight raw;
            Check(Native.pdx_get_status(Handle, out status, out raw));
            reading = new Weight(raw);
            return (ScaleStatus)status;
        }

        /// <summary>Takes readings until the status differs from `last` (at once for 0) and returns
        /// it; when the time-out passes first, the current status (equal to `last`).</summary>
        public ScaleStatus WaitStatus(ScaleStatus last, TimeSpan timeout)
        {
            Weight reading;
            return WaitStatus(last, timeout, out reading);
        }

        public ScaleStatus WaitStatus(ScaleStatus last, TimeSpan timeout, out Weight reading)
        {
            int status;
            PdxWeight raw;
            int code = Native.pdx_wait_status(Handle, (int)last, Milliseconds(timeout), out status, out raw);
            if (code != ResultCode.TimeOut) Check(code);
            reading = new Weight(raw);
            return (ScaleStatus)status;
        }

        public void Zero() { Check(Native.pdx_execute_command(Handle, CmdSetZero)); }

        /// <summary>Takes the load on the platform as the tare.</summary>
        public void Tare() { Check(Native.pdx_execute_command(Handle, CmdSetTare)); }

        /// <summary>A tare in grams on every protocol (whole milligrams).</summary>
        public void SpecifyTare(decimal grams) { SpecifyTareMg((long)Math.Round(grams * 1000m)); }

        public void SpecifyTareMg(long tareMg) { Check(Native.pdx_specify_tare_mg(Handle, tareMg)); }

        /// <summary>Limits in milligrams; 0: the scale's, where its protocol reports them.</summary>
        public void SetSaleLimits(long minimumMg, long maximumMg, long divisionMg)
        {
            Check(Native.pdx_set_sale_limits(Handle, minimumMg, maximumMg, divisionMg));
        }

        /// <summary>Level 1: the library's own view, no I/O; level 2 adds one exchange (whose
        /// failure throws).</summary>
        public IDictionary<string, string> CheckHealth(int level)
        {
            long h = Handle;
            return Pairs(Text(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_check_health(h, level, b, s, out n); }));
        }

        public IDictionary<string, string> Statistics()
        {
            long h = Handle;
            return Pairs(Text(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_get_statistics(h, b, s, out n); }));
        }

        public Capabilities Capabilities
        {
            get
            {
                PdxCapabilities raw;
                Check(Native.pdx_get_capabilities(Handle, out raw));
                return new Capabilities
                {
                    CanZero = raw.can_zero != 0, CanTare = raw.can_tare != 0, CanSpecifyTare = raw.can_specify_tare != 0,
                    ReportsStable = raw.reports_stable != 0, ReportsOverload = raw.reports_overload != 0,
                    ReportsNet = raw.reports_net != 0, ReportsTare = raw.reports_tare != 0,
                    MaximumKnown = raw.maximum_known != 0, DivisionKnown = raw.division_known != 0
                };
            }
        }

        /// <summary>The model the scale reported when it was opened (protocols named "Pro").</summary>
        public string Model
        {
            get
            {
                long h = Handle;
                return Text(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_get_param(h, ParamScalesModel, b, s, out n); });
            }
        }

        public string SerialNumber
        {
            get
            {
                long h = Handle;
                Check(Native.pdx_execute_command(h, CmdGetSerialNumber));
                return Text(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_get_param(h, ParamSerialNumber, b, s, out n); });
            }
        }

        public string Protocol
        {
            get
            {
                long h = Handle;
                return Text(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_get_protocol(h, b, s, out n); });
            }
        }

        public static string Version
        {
            get
            {
                Native.EnsureLoaded();
                return Text(Native.pdx_get_version);
            }
        }

        /// <summary>The lowest level the library's log writes, for every handle of the process.</summary>
        public static void SetLogMode(LogMode mode)
        {
            Native.EnsureLoaded();
            Check(Native.pdx_logging_set_mode((int)mode), null);
        }

        /// <summary>The machine's serial ports: one tab-separated line each (see ponderix.h).</summary>
        public static string ListPorts()
        {
            Native.EnsureLoaded();
            return Text(Native.pdx_list_ports);
        }

        /// <summary>Detection on every port named (newline-separated names, globs or TCP end points;
        /// null: every free port), all at once: one tab-separated line per port (see ponderix.h).</summary>
        public static string Discover(string ports, TimeSpan timeout)
        {
            Native.EnsureLoaded();
            // One call probes the ports: the buffer is made large enough not to lose that probe.
            var buffer = new byte[256 * 1024];
            UIntPtr needed;
            Check(Native.pdx_discover(ports == null ? null : Native.Utf8(ports), Milliseconds(timeout), buffer,
                                      new UIntPtr((uint)buffer.Length), out needed), null);
            return Native.FromUtf8(buffer);
        }

        /// <summary>The description of a result code; "" when the library has none.</summary>
        public static string Describe(int code, Language language)
        {
            int c = code, l = (int)language;
            string text;
            int result = TryText(delegate(byte[] b, UIntPtr s, out UIntPtr n) { return Native.pdx_get_error_description(c, l, b, s, out n); },
                                 out text);
            return result == ResultCode.Ok ? text : "";
        }

        /// <summary>Closes the line and destroys the device; later calls throw ObjectDisposedException.</summary>
        public void Dispose()
        {
            Release();
            GC.SuppressFinalize(this);
        }

        ~Scale() { Release(); }

        void Release()
        {
            long value = Interlocked.Exchange(ref handle, 0);
            if (value == 0) return;
            Native.pdx_close(value);
            Native.pdx_destroy(value);
        }

        void Check(int code) { Check(code, this); }

        static void Check(int code, Scale scale)
        {
            if (code == ResultCode.Ok) return;
            // A call that raced with Dispose on another thread sees the handle gone.
            if (scale != null && code == ResultCode.HandleDoesNotExist && Interlocked.Read(ref scale.handle) == 0)
                throw new ObjectDisposedException("Scale", "scale is closed");
            throw PonderixException.For(code);
        }

        static int Milliseconds(TimeSpan timeout)
        {
            double ms = Math.Ceiling(timeout.TotalMilliseconds);
            if (ms < 0) throw new ArgumentOutOfRangeException("timeout", "a time-out is not negative");
            return ms > int.MaxValue ? int.MaxValue : (int)ms;
        }

        delegate int TextCall(byte[] buffer, UIntPtr size, out UIntPtr needed);

        // A text output, with the buffer grown to what the library says it needs.
        static string Text(TextCall call)
        {
            string text;
            Check(TryText(call, out text), null);
            return text;
        }

        static int TryText(TextCall call, out string text)
        {
            var buffer = new byte[128];
            for (;;)
            {
                UIntPtr needed;
                int code = call(buffer, new UIntPtr((uint)buffer.Length), out needed);
                if (code == ResultCode.BufferTooSmall && needed.ToUInt64() > (ulong)buffer.Length)
                {
                    buffer = new byte[(int)needed.ToUInt64()];
                    continue;
                }
                text = code == ResultCode.Ok ? Native.FromUtf8(buffer) : null;
                return code;
            }
        }

        static IDictionary<string, string> Pairs(string lines)
        {
            var pairs = new Dictionary<string, string>();
            foreach (string line in lines.Split('\n'))
            {
                int equals = line.IndexOf('=');
                if (equals > 0) pairs[line.Substring(0, equals)] = line.Substring(equals + 1).TrimEnd('\r');
            }
            return pairs;
        }
    }
}
