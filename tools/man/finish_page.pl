#!/usr/bin/perl
# Finishes a manual page that help2man or lowdown wrote (IN to OUT [NAME]):
# the characters past ASCII become groff escapes that read the same in any
# locale ("…" as "...", which groff drops in the C locale otherwise), the
# lines of an EXAMPLES section keep their breaks, and a page without a NAME
# section gets one from the third argument.
use strict;
use warnings;

my %plain = ("\x{2026}" => '...', "\x{2013}" => '\(en', "\x{2014}" => '\(em', "\x{00D7}" => '\(mu');

open(my $in, '<:encoding(UTF-8)', $ARGV[0]) or die "$ARGV[0]: $!";
open(my $out, '>:raw', $ARGV[1]) or die "$ARGV[1]: $!";
my $name = $ARGV[2];
my $examples = 0;    # 1: in EXAMPLES, 2: its lines are not filled
while (my $line = <$in>) {
  if (defined $name && $line =~ /^\.TH /) {
    print $out $line, ".SH NAME\n$name\n";
    next;
  }
  if ($line =~ /^\.S[HS] /) {
    print $out ".fi\n" if $examples == 2;
    $examples = $line =~ /^\.SH "?EXAMPLES/ ? 1 : 0;
  } elsif ($examples == 1 && $line =~ /^\.(IP|PP)\s*$/) {
    print $out ".nf\n";
    $examples = 2;
    next;
  }
  $line =~ s/([^\x00-\x7f])/exists $plain{$1} ? $plain{$1} : sprintf('\\[u%04X]', ord($1))/ge;
  print $out $line;
}
print $out ".fi\n" if $examples == 2;
