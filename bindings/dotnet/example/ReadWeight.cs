// Reads a weight, then a weight a sale may use, from a scale on TCP or a serial port:
//   ReadWeight.exe 127.0.0.1 4001      ReadWeight.exe COM3 (or /dev/ttyUSB0)
using System;
using Ponderix;

static class ReadWeight
{
    static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: ReadWeight HOST PORT | ReadWeight SERIAL-PORT");
            return 2;
        }
        try
        {
            using (Scale scale = args.Length > 1 ? Scale.Tcp(args[0], int.Parse(args[1])) : Scale.Serial(args[0]))
            {
                Weight reading = scale.ReadWeight();
                Console.WriteLine("protocol {0}: {1} {2} ({3} mg), stable {4}", scale.Protocol, reading.Text,
                                  reading.Unit, reading.WeightMg, reading.Stable);
                try
                {
                    SaleWeight sale = scale.ReadSaleWeight(TimeSpan.FromSeconds(2));
                    Console.WriteLine("sale weight #{0}: {1} mg", sale.Sequence, sale.Reading.WeightMg);
                }
                catch (SaleRefusedException refused)
                {
                    Console.WriteLine("no sale weight: {0}", refused.Name);
                }
            }
            return 0;
        }
        catch (Exception error) when (error is PonderixException || error is DllNotFoundException)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
    }
}
