// The C# binding against the real library and scalesim (TCP and a pseudo-terminal). Run by
// scripts/test-bindings.sh: SCALESIM names the simulator, the library is found as a user's
// program finds it (LD_LIBRARY_PATH or PONDERIX_LIBRARY). Exit status 0 when every check passed.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Reflection;
using Ponderix;

static class PonderixTest
{
    static int failures;

    // scalesim with --control: Line is the port (TCP) or the pseudo-terminal's path.
    sealed class Sim : IDisposable
    {
        readonly Process process;
        public readonly string Line;

        public Sim(string protocol, bool tcp, params string[] settings)
        {
            string arguments = (tcp ? "--tcp 0" : "--pty") + " --protocol \"" + protocol + "\" --control --until-stdin-closes";
            foreach (string setting in settings) arguments += " --set " + setting;
            var start = new ProcessStartInfo(Environment.GetEnvironmentVariable("SCALESIM") ?? "scalesim", arguments)
            {
                UseShellExecute = false, RedirectStandardInput = true, RedirectStandardOutput = true
            };
            process = Process.Start(start);
            Line = process.StandardOutput.ReadLine();
        }

        public Scale Open()
        {
            return Line.StartsWith("/") ? Scale.Serial(Line, Protocol) : Scale.Tcp("127.0.0.1", int.Parse(Line), Protocol);
        }

        public string Protocol = "auto";

        // A control command; returns once scalesim has applied it.
        public void Do(string command)
        {
            process.StandardInput.WriteLine(command);
            process.StandardInput.Flush();
            string answer = process.StandardOutput.ReadLine();
            if (answer != "ok") throw new Exception("scalesim: " + command + ": " + answer);
        }

        public void Dispose()
        {
            process.StandardInput.Close();
            if (!process.WaitForExit(3000)) process.Kill();
        }
    }

    static void Check(string name, Action test)
    {
        try
        {
            test();
            Console.WriteLine("PASS " + name);
        }
        catch (Exception error)
        {
            ++failures;
            Console.WriteLine("FAIL " + name + ": " + error.GetType().Name + ": " + error.Message);
            if (Environment.GetEnvironmentVariable("VERBOSE") != null) Console.WriteLine(error);
        }
    }

    static void Expect<T>(T expected, T actual, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(expected, actual))
            throw new Exception(what + ": expected " + expected + ", got " + actual);
    }

    static TException Throws<TException>(Action action) where TException : Exception
    {
        try
        {
            action();
        }
        catch (TException error)
        {
            return error;
        }
        throw new Exception("no " + typeof(TException).Name);
    }

    static string Text(byte[] buffer) { return Native.FromUtf8(buffer); }

    static void ResultTexts()
    {
        // Every constant's name is the library's name of its number, and every code has both texts.
        foreach (FieldInfo field in typeof(ResultCode).GetFields(BindingFlags.Public | BindingFlags.Static))
        {
            if (!field.IsLiteral) continue;
            int code = (int)field.GetValue(null);
            Expect(field.Name, Native.FromUtf8(Native.pdx_result_name(code)), "name of " + code);
            foreach (Language language in new[] { Language.English, Language.Russian })
                if (Scale.Describe(code, language) == "") throw new Exception("no " + language + " text for " + code);
        }
        Expect(47, ResultCode.All.Length, "codes");
        Expect(IntPtr.Zero, Native.pdx_result_name(99), "name of 99");
        UIntPtr needed;
        Expect(ResultCode.ErrorCaseUnknown, Native.pdx_get_error_description(99, 2, new byte[256], new UIntPtr(256), out needed), "99");
        var ex = PonderixException.For(ResultCode.TimeOut);
        Expect("TimeOut", ex.Name, "exception name");
        if (!ex.Message.StartsWith("TimeOut (7): ") || ex.Message.Length < 20) throw new Exception(ex.Message);
    }

    static void BuffersAndHandles()
    {
        UIntPtr needed;
        var small = new byte[] { 0x55, 0x55 };
        Expect(ResultCode.BufferTooSmall, Native.pdx_get_version(small, new UIntPtr(2), out needed), "small buffer");
        Expect((byte)0x55, small[0], "small buffer untouched");
        var exact = new byte[(int)needed.ToUInt32()];
        Expect(ResultCode.Ok, Native.pdx_get_version(exact, needed, out needed), "exact buffer");
        Expect(exact.Length - 1, Text(exact).Length, "text fills the exact buffer");
        Expect(Scale.Version, Text(exact), "version");

        PdxWeight weight;
        long handle;
        int isOpen;
        Expect(ResultCode.HandleNull, Native.pdx_read_weight(0, out weight), "handle 0");
        Expect(ResultCode.HandleDoesNotExist, Native.pdx_read_weight(987654321, out weight), "never issued");
        Expect(ResultCode.Ok, Native.pdx_create(out handle), "create");
        Expect(ResultCode.NotOpen, Native.pdx_read_weight(handle, out weight), "before open");
        Expect(ResultCode.NotOpen, Native.pdx_execute_command(handle, 52), "command before open");
        Expect(ResultCode.Ok, Native.pdx_is_open(handle, out isOpen), "is_open");
        Expect(0, isOpen, "not open");
        Expect(ResultCode.Ok, Native.pdx_destroy(handle), "destroy");
        Expect(ResultCode.HandleDoesNotExist, Native.pdx_read_weight(handle, out weight), "destroyed, read");
        Expect(ResultCode.HandleDoesNotExist, Native.pdx_destroy(handle), "destroyed, destroy");

        UIntPtr namesNeeded;
        Native.pdx_protocol_names(new byte[1], new UIntPtr(1), out namesNeeded);
        var names = new byte[(int)namesNeeded.ToUInt32()];
        Expect(ResultCode.Ok, Native.pdx_protocol_names(names, namesNeeded, out namesNeeded), "protocol names");
        if (!Text(names).Contains("POS2MProV1") || !Text(names).EndsWith("auto")) throw new Exception(Text(names));
    }

    // One reading per family, on TCP and on the pseudo-terminal; flags the protocol cannot report are null.
    static void Readings(bool tcp)
    {
        using (var sim = new Sim("POS2M", tcp, "weight=1250", "tare=100"))
        using (var scale = sim.Open())
        {
            Weight w = scale.ReadWeight();
            Expect(1250000L, w.WeightMg, "POS mg");
            Expect("1250 g", w.Text + " " + w.Unit, "POS text");
            Expect((bool?)true, w.Stable, "POS stable");
            Expect((long?)100000, w.TareMg, "POS tare");
            Expect("POS2M", scale.Protocol, "detected");
            sim.Do("stable=0");
            Expect((bool?)false, scale.ReadWeight().Stable, "POS unstable");
        }
        using (var sim = new Sim("CAS-M", tcp, "weight=2.5"))
        using (var scale = sim.Open())
        {
            Weight w = scale.ReadWeight();
            Expect(2500000L, w.WeightMg, "CAS mg");
            Expect("kg", w.Unit, "CAS unit");
            Expect((bool?)true, w.Stable, "CAS stable");
            Expect((bool?)false, w.Overload, "CAS overload");
            Expect((long?)null, w.TareMg, "CAS tare");
            sim.Do("overload=1");
            Expect((bool?)true, scale.ReadWeight().Overload, "CAS overload set");
        }
        using (var sim = new Sim("OKA", tcp, "weight=1.234", "tare=0.101"))
        using (var scale = sim.Open())
        {
            Weight w = scale.ReadWeight();
            Expect(1234000L, w.WeightMg, "OKA mg");
            Expect("1.234", w.Text, "OKA text");
            Expect((long?)101000, w.TareMg, "OKA tare");
            sim.Do("stable=0");
            w = scale.ReadWeight();
            Expect((bool?)false, w.Stable, "OKA settling");
            Expect(0L, w.WeightMg, "OKA reads 0 while settling");
        }
    }

    static void Tares()
    {
        using (var sim = new Sim("POS2MProV1", true, "weight=250"))
        using (var scale = sim.Open())
        {
            scale.Tare();
            Weight w = scale.ReadWeight();
            Expect(0L, w.WeightMg, "net after tare");
            Expect((long?)250000, w.TareMg, "tare taken");
            scale.SpecifyTare(300m);
            Expect((long?)300000, scale.ReadWeight().TareMg, "tare specified in grams");
            scale.Zero();
            Expect(0L, scale.ReadWeight().WeightMg, "zeroed");
            Expect(ResultCode.ParamValueUnsupported, Throws<PonderixException>(() => scale.SpecifyTareMg(-1)).Code, "negative tare");
        }
        using (var sim = new Sim("OKA", true, "weight=1.000"))
        using (var scale = sim.Open())
        {
            scale.SpecifyTareMg(150000);
            Expect((long?)150000, scale.ReadWeight().TareMg, "OKA tare from milligrams");
        }
        using (var sim = new Sim("CAS-M", false))
        using (var scale = sim.Open())
        {
            var error = Throws<PonderixException>(() => scale.SpecifyTare(100m));
            Expect(ResultCode.CommandUnsupported, error.Code, "CAS has no tare input");
            Expect("CommandUnsupported", error.Name, "its name");
        }
    }

    // The sale checks of one family; `underZero` and `overload` where the protocol reports them.
    static void Sale(string protocol, bool tcp, string weight, string other, bool underZero, bool overload)
    {
        using (var sim = new Sim(protocol, tcp))
        using (var scale = sim.Open())
        {
            var wait = TimeSpan.FromSeconds(2);
            Throws<NothingOnScaleException>(() => scale.ReadSaleWeight(wait));
            sim.Do("place " + weight + " 200");
            SaleWeight first = scale.ReadSaleWeight(wait);
            Expect(1UL, first.Sequence, "first sale");
            Expect(ScaleStatus.Stable, first.Status, "its status");
            if (Math.Abs((DateTimeOffset.UtcNow - first.TakenAt).TotalSeconds) > 60) throw new Exception("taken at " + first.TakenAt);
            var same = Throws<SameWeightException>(() => scale.ReadSaleWeight(wait));
            Expect(0UL, same.LastReading.Sequence, "refusal sequence");
            Expect(ResultCode.WeightSame, same.Code, "105");

            sim.Do("remove");
            Expect(ScaleStatus.Zero, scale.Status, "emptied");
            sim.Do("place " + other);
            Expect(2UL, scale.ReadSaleWeight(wait).Sequence, "next sale");

            sim.Do("place " + weight + " 5000");
            var started = DateTime.UtcNow;
            var unstable = Throws<WeightUnstableException>(() => scale.ReadSaleWeight(TimeSpan.FromMilliseconds(300)));
            Expect(ScaleStatus.Unstable, unstable.LastReading.Status, "unstable status");
            if ((DateTime.UtcNow - started).TotalMilliseconds > 300 + 1500) throw new Exception("101 took too long");
            Expect(ScaleStatus.Unstable, scale.WaitStatus(ScaleStatus.Unstable, TimeSpan.FromMilliseconds(300)),
                   "WaitStatus times out on a swinging load");
            sim.Do("place " + weight + " 300");
            Expect(ScaleStatus.Stable, scale.WaitStatus(ScaleStatus.Unstable, TimeSpan.FromSeconds(3)), "settles");

            scale.SetSaleLimits(1000000000, 0, 0);
            sim.Do("place " + other);
            Throws<WeightBelowMinimumException>(() => scale.ReadSaleWeight(wait));
            scale.SetSaleLimits(0, 0, 0);
            Expect(ResultCode.ParamValueUnsupported, Throws<PonderixException>(() => scale.SetSaleLimits(-1, 0, 0)).Code, "negative limit");
            if (underZero)
            {
                sim.Do("place -" + weight);
                Throws<WeightUnderZeroException>(() => scale.ReadSaleWeight(wait));
            }
            if (overload)
            {
                sim.Do("overload=1");
                Throws<WeightOverloadException>(() => scale.ReadSaleWeight(TimeSpan.Zero));
            }
            var statistics = scale.Statistics();
            Expect("2", statistics["sale_weights"], "statistics");
            Expect("1", statistics["refused.same_weight"], "refusals counted");
        }
    }

    static void Surface()
    {
        using (var sim = new Sim("CAS-M", true, "weight=1.000"))
        {
            sim.Protocol = "CAS-M";
            var scale = sim.Open();
            IDictionary<string, string> health = scale.CheckHealth(1);
            Expect("1", health["open"], "health open");
            Expect("CAS-M", health["protocol"], "health protocol");
            Expect("11", scale.CheckHealth(2)["status"], "health status");
            Capabilities capabilities = scale.Capabilities;
            Expect(true, capabilities.ReportsStable && capabilities.ReportsOverload && !capabilities.ReportsTare, "CAS capabilities");
            Expect(ScaleStatus.Stable, scale.Status, "status");
            scale.Dispose();
            scale.Dispose();
            var closed = Throws<ObjectDisposedException>(() => scale.ReadWeight());
            if (!closed.Message.Contains("scale is closed")) throw new Exception(closed.Message);
        }
    }

    // One Scale shared by threads: the library serialises the calls, none fails or mixes replies.
    static void SharedByThreads()
    {
        using (var sim = new Sim("POS2M", true, "weight=500"))
        using (var scale = sim.Open())
        {
            var failures = new List<string>();
            var threads = new List<System.Threading.Thread>();
            for (int t = 0; t < 4; ++t)
            {
                var thread = new System.Threading.Thread(() =>
                {
                    for (int i = 0; i < 25; ++i)
                    {
                        try
                        {
                            if (scale.ReadWeight().WeightMg != 500000) lock (failures) failures.Add("weight");
                            if (scale.Status != ScaleStatus.Stable) lock (failures) failures.Add("status");
                        }
                        catch (Exception error)
                        {
                            lock (failures) failures.Add(error.Message);
                        }
                    }
                });
                threads.Add(thread);
                thread.Start();
            }
            foreach (var thread in threads) thread.Join();
            if (failures.Count > 0) throw new Exception(failures.Count + " failed calls, first: " + failures[0]);
        }
    }

    static void Profiles()
    {
        using (var sim = new Sim("POS2M", true, "weight=42"))
        {
            long handle;
            int id;
            UIntPtr count;
            Native.pdx_create(out handle);
            Native.pdx_get_logic_device_ids(handle, null, UIntPtr.Zero, out count);
            ulong before = count.ToUInt64();
            using (var scale = sim.Open()) scale.ReadWeight();
            Native.pdx_get_logic_device_ids(handle, null, UIntPtr.Zero, out count);
            Expect(before, count.ToUInt64(), "Tcp saves nothing in the store");

            Expect(ResultCode.Ok, Native.pdx_add_logic_device(handle, out id), "add");
            string[] settings = { "csharp-test-" + Process.GetCurrentProcess().Id, "TCP", "127.0.0.1:" + sim.Line, "9600", "auto", "POS2M" };
            for (int type = 2; type <= 7; ++type)
                Expect(ResultCode.Ok, Native.pdx_set_logic_device_param(handle, id, type, Native.Utf8(settings[type - 2])), "setting " + type);
            using (var scale = Scale.Profile(settings[0])) Expect(42000L, scale.ReadWeight().WeightMg, "profile reading");
            Expect(ResultCode.LogicDeviceNotFound, Throws<PonderixException>(() => Scale.Profile("no such profile")).Code, "unknown profile");
            Native.pdx_delete_logic_device(handle, id);
            Native.pdx_destroy(handle);
        }
    }

    static void Ports()
    {
        foreach (string line in Scale.ListPorts().Split(new[] { '\n' }, StringSplitOptions.RemoveEmptyEntries))
            Expect(9, line.Split('\t').Length, "columns of a port");
        using (var sim = new Sim("OKA", true, "weight=1"))
        {
            string[] row = Scale.Discover("tcp:127.0.0.1:" + sim.Line, TimeSpan.FromSeconds(5)).TrimEnd('\n').Split('\t');
            Expect("OKA", row[1], "discovered protocol");
        }
    }

    static int Main()
    {
        Native.EnsureLoaded();
        Scale.SetLogMode(LogMode.Warning);
        Check("result names and texts of every code", ResultTexts);
        Check("buffer sizes, bad and destroyed handles, not open", BuffersAndHandles);
        Check("a reading per family over TCP", () => Readings(true));
        Check("a reading per family over a pseudo-terminal", () => Readings(false));
        Check("zero, tare and tare in grams", Tares);
        Check("sale weight and refusals, POS over TCP", () => Sale("POS2M", true, "1250", "800", true, false));
        Check("sale weight and refusals, CAS over a pseudo-terminal", () => Sale("CAS-M", false, "1.250", "0.800", true, true));
        Check("sale weight and refusals, OKA over TCP", () => Sale("OKA", true, "1.250", "0.800", false, true));
        Check("health, capabilities, status, disposal", Surface);
        Check("one scale shared by threads", SharedByThreads);
        Check("profiles, and lines that save nothing", Profiles);
        Check("ports listed and a scale discovered", Ports);
        Console.WriteLine(failures == 0 ? "all passed" : failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}
